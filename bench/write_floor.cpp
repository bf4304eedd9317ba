// The floor the conversion is measured against: the same header bytes written with
// one open, one write and one close per file, and nothing else.
//   write_floor LIST DATA
// LIST holds one "size name" line per file, in order; DATA holds the files' bytes
// back to back. The files are written into the working directory.
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: write_floor LIST DATA\n", stderr);
        return 2;
    }
    std::ifstream list(argv[1]);
    // The data in one read, as fast as a program can have it.
    std::string data;
    struct stat status {};
    const int data_file = ::open(argv[2], O_RDONLY);
    if (data_file < 0 || ::fstat(data_file, &status) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    data.resize(static_cast<std::size_t>(status.st_size));
    if (::read(data_file, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
        std::perror(argv[2]);
        return 1;
    }
    ::close(data_file);
    std::size_t offset = 0;
    std::size_t size = 0;
    std::string name;
    while (list >> size >> name) {
        const int file = ::open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0666);
        if (file < 0 || offset + size > data.size() ||
            ::write(file, data.data() + offset, size) != static_cast<ssize_t>(size) || ::close(file) != 0) {
            std::perror(name.c_str());
            return 1;
        }
        offset += size;
    }
    return 0;
}
