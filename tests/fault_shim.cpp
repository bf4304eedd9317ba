// Faults the system will not give on demand, preloaded (LD_PRELOAD) into the real
// program by fault_test.sh and chosen by the environment variable HDRMILL_FAULT:
//   read-after:N  the first read of the calibration file after N bytes of it fails
//   close-header  closing a header's temporary file fails (the file is closed)
//   flush-once:K  the K-th flush of standard output fails; the flushes after it work
//   fsync         saving a file to disk fails (EIO)
//   rename        putting a file in place of another fails (EBUSY, as on Windows while
//                 a chart plotter holds the old chart open); nothing is renamed
// Each fault is made real where it can be: the failing read reads a directory and the
// failing flush writes to /dev/full, so the program sees the system's own errors.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

template <typename function>
function next(const char* name) {
    return reinterpret_cast<function>(dlsym(RTLD_NEXT, name));
}

// The number after `prefix` in HDRMILL_FAULT, or -1 when that fault is not chosen.
long chosen(std::string_view prefix) {
    const char* fault = std::getenv("HDRMILL_FAULT");
    if (fault == nullptr || std::string_view(fault).substr(0, prefix.size()) != prefix) {
        return -1;
    }
    return std::strtol(fault + prefix.size(), nullptr, 10);
}

// Puts a copy of `replacement` under `descriptor`.
void swap_in(int descriptor, int replacement) {
    dup2(replacement, descriptor);
    next<int (*)(int)>("close")(replacement);
}

}  // namespace

extern "C" std::size_t fread(void* data, std::size_t size, std::size_t count, std::FILE* stream) {
    static const auto real = next<std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*)>("fread");
    static long left = chosen("read-after:");
    if (left == 0) {
        swap_in(fileno(stream), open("/", O_RDONLY | O_DIRECTORY));
    }
    const std::size_t got = real(data, size, count, stream);
    if (left > 0) {
        left = std::max(0L, left - static_cast<long>(got * size));
    }
    return got;
}

extern "C" int fflush(std::FILE* stream) {
    static const auto real = next<int (*)(std::FILE*)>("fflush");
    static long countdown = chosen("flush-once:");
    if (stream != stdout || countdown <= 0 || --countdown > 0) {
        return real(stream);
    }
    const int saved = dup(1);
    swap_in(1, open("/dev/full", O_WRONLY));
    const int result = real(stream);
    swap_in(1, saved);
    return result;
}

extern "C" int close(int descriptor) {
    static const auto real = next<int (*)(int)>("close");
    static const bool fail_header = chosen("close-header") == 0;
    char target[4096];
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = fail_header ? readlink(link, target, sizeof target) : -1;
    const bool header = length > 0 && std::string_view(target, static_cast<std::size_t>(length)).find("/.hdrmill-") !=
                                           std::string_view::npos;
    const int result = real(descriptor);
    if (header) {
        errno = EIO;
        return -1;
    }
    return result;
}

extern "C" int fsync(int descriptor) {
    static const auto real = next<int (*)(int)>("fsync");
    static const bool fail = chosen("fsync") == 0;
    if (fail) {
        errno = EIO;
        return -1;
    }
    return real(descriptor);
}

// glibc declares rename as throwing nothing.
extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    static const bool fail = chosen("rename") == 0;
    if (fail) {
        errno = EBUSY;
        return -1;
    }
    return real(from, to);
}
