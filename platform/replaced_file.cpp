#include "platform/replaced_file.hpp"

#include "platform/ending_signals.hpp"
#include "platform/file_name.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace hdrmill {

namespace {

// The few file operations this needs, in each platform's own words. Descriptors are
// opened in binary mode: the CR LF line ends are already in the bytes.
#ifdef _WIN32
int open_new_file(const std::string& path) {
    return ::_open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int open_for_writing(const std::string& path) {
    return ::_open(path.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
long write_some(int descriptor, const char* data, std::size_t size) {
    return ::_write(descriptor, data, static_cast<unsigned>(size < (1U << 30) ? size : (1U << 30)));
}
bool save_to_disk(int descriptor) { return ::_commit(descriptor) == 0; }
bool close_descriptor(int descriptor) { return ::_close(descriptor) == 0; }
bool remove_file(const std::string& path) { return ::_unlink(path.c_str()) == 0; }
// The C library's rename refuses to replace an existing file on Windows.
bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
enum class kind { absent, regular, replaceable_link, other };
// Devices such as NUL and CON are no files to replace: only what lies on a disk is.
kind kind_of(const std::string& path) {
    const int descriptor = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        return errno == ENOENT ? kind::absent : kind::other;
    }
    const auto type = GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)));
    ::_close(descriptor);
    return type == FILE_TYPE_DISK ? kind::regular : kind::other;
}
bool may_write(const std::string& path) { return ::_access(path.c_str(), 2) == 0; }
#else
int open_new_file(const std::string& path) {
    return ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
}
int open_for_writing(const std::string& path) {
    return ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0666);
}
long write_some(int descriptor, const char* data, std::size_t size) { return ::write(descriptor, data, size); }
bool save_to_disk(int descriptor) { return ::fsync(descriptor) == 0; }
bool close_descriptor(int descriptor) { return ::close(descriptor) == 0; }
bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }
bool replace_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }
enum class kind { absent, regular, replaceable_link, other };
kind kind_of(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        // Only a name that is simply not there yet is created anew; any other failure
        // (a file in the path, a name too long) is left to the direct open to report.
        return errno == ENOENT ? kind::absent : kind::other;
    }
    if (S_ISLNK(status.st_mode)) {
        return kind::replaceable_link;
    }
    return S_ISREG(status.st_mode) ? kind::regular : kind::other;
}
bool may_write(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }
#endif

// While a temporary file exists the ending signals are held back, so that the file can
// be removed before the run ends through the signal.
volatile std::sig_atomic_t holding_signals = 0;
volatile std::sig_atomic_t held_signal = 0;

extern "C" void on_ending_signal(int signal_number) {
    if (holding_signals != 0) {
        held_signal = signal_number;
        std::signal(signal_number, on_ending_signal);  // some platforms reset the handler
        return;
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void install_signal_handlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    for (const int signal_number : ending_signals) {
        // A signal the run was started to ignore (nohup, a background job) stays ignored.
        if (std::signal(signal_number, on_ending_signal) == SIG_IGN) {
            std::signal(signal_number, SIG_IGN);
        }
    }
}

// Ends the run through a signal that came while it was held back.
void end_through_held_signal() {
    if (held_signal != 0) {
        const int signal_number = held_signal;
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
    }
}

// A short fixed-length name, so that it fits wherever the header's name fits; a dot in
// front and ".tmp" behind keep it from being taken for a header.
std::string temporary_name(const std::string& folder, std::uint64_t number) {
    return folder + ".hdrmill-" + std::to_string(number) + ".tmp";
}

}  // namespace

replaced_file::~replaced_file() { discard(); }

bool replaced_file::create(const std::string& name) {
    name_ = name;
    failed_ = false;
    const auto found = kind_of(name);
    if (found == kind::other) {
        descriptor_ = open_for_writing(name);
        return descriptor_ >= 0;
    }
    if (found == kind::regular && !may_write(name)) {
        return false;
    }
    replaces_file_ = found == kind::regular;
    install_signal_handlers();
    holding_signals = 1;
    // Start from the clock so that runs side by side rarely try the same names.
    static std::uint64_t next_number =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) % 1000000;
    const auto folder = folder_of(name);
    for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
        temporary_ = temporary_name(folder, next_number++);
        descriptor_ = open_new_file(temporary_);
        if (descriptor_ < 0 && errno != EEXIST) {
            break;
        }
    }
    if (descriptor_ < 0) {
        temporary_.clear();
        discard();
        return false;
    }
    return true;
}

bool replaced_file::write(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const long count = held_signal == 0 ? write_some(descriptor_, bytes.data(), bytes.size()) : -1;
        if (count > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(count));
        } else if (held_signal != 0) {
            // An ending signal ends the run here, the temporary file removed, before the
            // caller could take the stopped write for a failure and say so.
            discard();
            failed_ = true;
        } else if (!(count < 0 && errno == EINTR)) {
            failed_ = true;
        }
    }
    return !failed_;
}

bool replaced_file::finish() {
    if (descriptor_ < 0) {
        return false;
    }
    bool written = !failed_;
    // An old file is only given up for one that has reached the disk.
    if (written && replaces_file_ && held_signal == 0) {
        written = save_to_disk(descriptor_);
    }
    const bool closed = close_descriptor(descriptor_);
    descriptor_ = -1;
    written = written && closed && held_signal == 0;
    if (written && !temporary_.empty()) {
        written = replace_file(temporary_, name_);
        if (written) {
            temporary_.clear();
        }
    }
    discard();
    return written;
}

void replaced_file::discard() {
    if (descriptor_ >= 0) {
        close_descriptor(descriptor_);
        descriptor_ = -1;
    }
    if (!temporary_.empty()) {
        remove_file(temporary_);
        temporary_.clear();
    }
    if (holding_signals != 0) {
        holding_signals = 0;
        end_through_held_signal();
    }
}

}  // namespace hdrmill
