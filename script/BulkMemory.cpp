#include "script/BulkMemory.h"

#include <sys/mman.h>

#include <cstdint>

namespace script {

namespace {

constexpr std::size_t kLargePage = 2 * 1024 * 1024;

std::size_t RoundUp(std::size_t bytes)
{
    return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

} // namespace

void* AllocateBulk(std::size_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX / 2)
        throw std::bad_alloc();
    const std::size_t size = RoundUp(bytes);
    // One large page more than needed, so that an aligned run lies inside; the ends are given
    // back.
    void* const got = ::mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (got == MAP_FAILED)
        throw std::bad_alloc();
    char* const base = static_cast<char*>(got);
    char* const start = reinterpret_cast<char*>(
        (reinterpret_cast<std::uintptr_t>(base) + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1});
    if (start != base)
        ::munmap(base, static_cast<std::size_t>(start - base));
    const std::size_t tail = static_cast<std::size_t>(base + size + kLargePage - (start + size));
    if (tail)
        ::munmap(start + size, tail);
#ifdef MADV_HUGEPAGE
    // Only a request: without large pages the run is backed like any other memory.
    ::madvise(start, size, MADV_HUGEPAGE);
#endif
    return start;
}

void FreeBulk(void* p, std::size_t bytes)
{
    if (p)
        ::munmap(p, RoundUp(bytes));
}

} // namespace script
