#pragma once

#include <functional>
#include <thread>

namespace hdrmill {

/// Starts `work` on a thread of its own that the ending signals (ending_signals.hpp)
/// never reach: they go to the main thread, which holds them back while a file is
/// replaced and removes its temporary file before the run ends. Throws what
/// std::thread throws when no thread can be started.
std::thread start_background_thread(std::function<void()> work);

/// Runs `other` on a background thread while `mine` runs on this one, and returns once
/// both have; where no thread can be started (or the machine has one core), `other`
/// runs after `mine`. What `other` throws is thrown here, after `mine` has ended.
void run_both(const std::function<void()>& other, const std::function<void()>& mine);

}  // namespace hdrmill
