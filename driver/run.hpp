#pragma once

#include <string>
#include <vector>

#include "platform/console.hpp"

namespace hdrmill {

/// The whole run for the arguments after the program path; gives the exit status:
///   0  usage text shown; or every selected chart converted and at least one was;
///      or with -l, at least one chart listed; or with -c, charts checked and none
///      with an error; or with -k, every selected chart made and at least one was
///   1  the input could not be opened or read; "Bad Calibration File"; no chart
///      converted, listed, checked or made; some header was refused, not created or
///      not written; a checked chart has an error; a chart was not made; or the -t
///      value is not a positive number
int run(const std::vector<std::string>& arguments, console& out);

}  // namespace hdrmill
