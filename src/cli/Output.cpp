#include "cli/Output.h"

#include "cli/Verbs.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

namespace kaldrani::cli {

void writeStdout(std::string_view text)
{
    // Whatever the stream still buffers goes first, so the order stays.
    std::cout.flush();
    while (!text.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw CommandFailure(1, std::string("kaldrani-cli: cannot write the output: ") + std::strerror(errno));
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
}

} // namespace kaldrani::cli
