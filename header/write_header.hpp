#pragma once

#include <optional>
#include <string>

#include "calibration/input_buffer.hpp"
#include "header/header_name.hpp"
#include "platform/console.hpp"

namespace hdrmill {

/// How writing one chart's header ended. Only `written` counts as converted.
enum class header_outcome {
    written,
    unsafe_name,   // the name formed from the section line would leave the working directory
    not_created,   // the file could not be created; nothing was written
    not_written,   // writing, closing or replacing failed; an old header stays as it was
};

/// Writes one chart's header file and says on the console what happened: "Create "
/// and the name before the file is created, then "Could not create file ", "Could not
/// write file " or, instead of "Create ", "Unsafe file name " with the name. An
/// existing header of that name is replaced whole, or not at all (see `replaced_file`).
/// The record gains the lines its template lines append; they vanish when the reader
/// clears it.
header_outcome write_header(input_buffer& record, const header_naming& naming, console& out);

/// Forms the chart's header file name and says what happens to it: "Unsafe file name "
/// and the name when a name formed from the section line would leave the working
/// directory (then nothing is given back and nothing may be written), else "Create "
/// and the name, before anything is created.
std::optional<std::string> announce_header_file(const input_buffer& record, const header_naming& naming,
                                                console& out);

}  // namespace hdrmill
