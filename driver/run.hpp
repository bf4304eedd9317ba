#pragma once

#include <string>
#include <vector>

#include "driver/console.hpp"

namespace hdrmill {

/// The whole run for the arguments after the program path; gives the exit status:
///   0  usage text shown; or every selected chart converted and at least one was;
///      or with -l, at least one chart listed
///   1  the input could not be opened or read; "Bad Calibration File"; no chart
///      converted or listed; or some header was refused, not created or not written
int run(const std::vector<std::string>& arguments, console& out);

}  // namespace hdrmill
