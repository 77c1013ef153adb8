// The I/O floor of a compile, as a whole process: reads a file to its end in 64 KiB blocks and
// writes a file of a given size, as the compiler reads a script and writes its listing, with
// nothing in between. Usage: io_floor SOURCE SIZE OUTPUT
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: io_floor SOURCE SIZE OUTPUT\n");
        return 2;
    }
    static char block[65536];
    const int in = ::open(argv[1], O_RDONLY);
    if (in < 0) return 1;
    size_t read = 0;
    for (ssize_t n; (n = ::read(in, block, sizeof block)) > 0;) read += static_cast<size_t>(n);
    ::close(in);
    const size_t size = std::strtoull(argv[2], nullptr, 10);
    const int out = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    std::memset(block, ' ', sizeof block);
    for (size_t done = 0; done < size;) {
        const size_t k = size - done < sizeof block ? size - done : sizeof block;
        const ssize_t n = ::write(out, block, k);
        if (n <= 0) return 1;
        done += static_cast<size_t>(n);
    }
    return ::close(out) == 0 && read > 0 ? 0 : 1;
}
