#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.hpp"
#include "platform/console.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    hdrmill::console out(stdout);
    const int status = hdrmill::run(arguments, out);
    // Output that never arrived is a failure even when the run itself went well.
    return out.failed() ? 1 : status;
}
