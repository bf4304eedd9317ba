#include "platform/background_thread.hpp"

#include <exception>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <pthread.h>
#include <csignal>

#include "platform/ending_signals.hpp"
#endif

namespace hdrmill {

#ifdef _WIN32
// Windows runs a console's Ctrl-C handler on a thread of the system's own.
std::thread start_background_thread(std::function<void()> work) { return std::thread(std::move(work)); }
#else
// A new thread starts with the signal mask of the thread that starts it: the ending
// signals are blocked for the moment of its start, and only it keeps them blocked.
std::thread start_background_thread(std::function<void()> work) {
    sigset_t ending{};
    sigemptyset(&ending);
    for (const int signal_number : ending_signals) {
        sigaddset(&ending, signal_number);
    }
    sigset_t before{};
    pthread_sigmask(SIG_BLOCK, &ending, &before);
    struct restore_mask {
        const sigset_t& mask;
        ~restore_mask() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } const restore{before};
    return std::thread(std::move(work));
}
#endif

void run_both(const std::function<void()>& other, const std::function<void()>& mine) {
    std::exception_ptr failure;
    std::thread thread;
    if (std::thread::hardware_concurrency() > 1) {
        try {
            thread = start_background_thread([&] {
                try {
                    other();
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // none to be had: see below
        }
    }
    if (!thread.joinable()) {  // no thread: both run here, one after the other
        mine();
        other();
        return;
    }
    struct joined {  // also when `mine` throws: the thread uses this frame
        std::thread& thread;
        ~joined() {
            if (thread.joinable()) thread.join();
        }
    } const join{thread};
    mine();
    thread.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace hdrmill
