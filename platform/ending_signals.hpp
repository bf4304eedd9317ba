#pragma once

#include <csignal>

namespace hdrmill {

/// The signals that end a run from outside: Ctrl-C, a termination request, a closed
/// terminal. A file being replaced holds them back (replaced_file); threads of the
/// run's own never take them (background_thread).
inline constexpr int ending_signals[] = {
    SIGINT, SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

}  // namespace hdrmill
