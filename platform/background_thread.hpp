#pragma once

#include <functional>
#include <thread>

namespace hdrmill {

/// Starts `work` on a thread of its own that the ending signals (ending_signals.hpp)
/// never reach: they go to the main thread, which holds them back while a file is
/// replaced and removes its temporary file before the run ends. Throws what
/// std::thread throws when no thread can be started.
std::thread start_background_thread(std::function<void()> work);

}  // namespace hdrmill
