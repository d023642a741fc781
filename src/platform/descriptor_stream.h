// A stream over a file descriptor (POSIX, or the C run-time's on Windows)
// that it owns and closes: how the private temporary file of either system is
// handed out. Both builds use g++'s library, whose stdio_filebuf does this.
#pragma once

#include <ext/stdio_filebuf.h>

#include <iostream>

namespace tkw {

class DescriptorStream final : public std::iostream {
public:
    explicit DescriptorStream(int fd)
        : std::iostream(nullptr), buf_(fd, std::ios::in | std::ios::out | std::ios::binary) {
        rdbuf(&buf_);
    }

private:
    __gnu_cxx::stdio_filebuf<char> buf_;
};

}  // namespace tkw
