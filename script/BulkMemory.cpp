#include "script/BulkMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>

namespace script {

namespace {

constexpr std::size_t kLargePage = 2 * 1024 * 1024;
// Blocks are carved one after the other from regions of this size, so that the tables of one
// script share their large pages instead of each starting one of its own. A region is given
// back when its last block is freed.
constexpr std::size_t kRegionSize = 64 * 1024 * 1024;
// Larger blocks get a run of their own.
constexpr std::size_t kOwnRunFrom = kRegionSize / 4;
constexpr std::size_t kBlockAlign = 64;
constexpr int kMaxRegions = 8;

std::size_t RoundUp(std::size_t bytes, std::size_t to) { return (bytes + to - 1) & ~(to - 1); }

// A 2 MiB-aligned run of size bytes (a multiple of 2 MiB), marked for large pages.
char* MapRun(std::size_t size) {
    // One large page more than needed, so that an aligned run lies inside; the ends are given
    // back.
    void* const got = ::mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (got == MAP_FAILED) throw std::bad_alloc();
    char* const base = static_cast<char*>(got);
    char* const start = reinterpret_cast<char*>(RoundUp(reinterpret_cast<std::uintptr_t>(base), kLargePage));
    if (start != base) ::munmap(base, static_cast<std::size_t>(start - base));
    const std::size_t tail = static_cast<std::size_t>(base + size + kLargePage - (start + size));
    if (tail) ::munmap(start + size, tail);
#ifdef MADV_HUGEPAGE
    // Only a request: without large pages the run is backed like any other memory.
    (void)::madvise(start, size, MADV_HUGEPAGE);
#endif
    return start;
}

// A freed block that is not the last carved: its pages have been touched already, so a later
// block of the same script takes them again before fresh ones.
struct FreeRange {
    std::size_t offset = 0;
    std::size_t size = 0;
};
constexpr int kMaxFreeRanges = 64;

struct Region {
    char* base = nullptr;
    std::size_t used = 0;
    std::size_t live = 0;  // blocks not yet freed
    FreeRange free[kMaxFreeRanges];
    int freeCount = 0;

    // A block of size bytes from the freed ranges (the first that holds it), or nullptr.
    char* TakeFreed(std::size_t size) {
        for (int i = 0; i < freeCount; ++i) {
            FreeRange& f = free[i];
            if (f.size < size) continue;
            char* const p = base + f.offset;
            f.offset += size;
            f.size -= size;
            if (f.size == 0) free[i] = free[--freeCount];
            return p;
        }
        return nullptr;
    }
    // Gives back the block at offset; the carving point moves back over freed blocks at its end.
    void Give(std::size_t offset, std::size_t size) {
        if (offset + size == used) {
            used = offset;
        } else if (freeCount < kMaxFreeRanges) {
            free[freeCount++] = FreeRange{offset, size};
            return;
        } else {
            return;  // too many ranges to keep: this one waits for the region's end
        }
        for (bool moved = true; moved;) {
            moved = false;
            for (int i = 0; i < freeCount; ++i) {
                if (free[i].offset + free[i].size != used) continue;
                used = free[i].offset;
                free[i] = free[--freeCount];
                moved = true;
                break;
            }
        }
    }
};

struct Regions {
    std::mutex mutex;
    Region regions[kMaxRegions];
    int current = -1;  // the region new blocks are carved from
};

Regions& TheRegions() {
    // Never destroyed: a table held by an object that outlives the statics may still be freed.
    static Regions* const r = new Regions;
    return *r;
}

}  // namespace

void* AllocateBulk(std::size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX / 4) throw std::bad_alloc();
    if (bytes >= kOwnRunFrom) return MapRun(RoundUp(bytes, kLargePage));
    const std::size_t size = RoundUp(bytes, kBlockAlign);
    Regions& rs = TheRegions();
    std::lock_guard<std::mutex> lock(rs.mutex);
    if (rs.current >= 0) {
        Region& r = rs.regions[rs.current];
        if (char* const p = r.TakeFreed(size)) {
            ++r.live;
            return p;
        }
    }
    if (rs.current < 0 || rs.regions[rs.current].used + size > kRegionSize) {
        int free = -1;
        for (int i = 0; i < kMaxRegions && free < 0; ++i)
            if (!rs.regions[i].base) free = i;
        if (free < 0)  // every region still holds blocks: this one gets a run of its own
            return MapRun(RoundUp(bytes, kLargePage));
        rs.regions[free].base = MapRun(kRegionSize);
        rs.regions[free].used = 0;
        rs.regions[free].live = 0;
        rs.current = free;
    }
    Region& r = rs.regions[rs.current];
    char* const p = r.base + r.used;
    r.used += size;
    ++r.live;
    return p;
}

void FreeBulk(void* p, std::size_t bytes) {
    if (!p) return;
    if (bytes >= kOwnRunFrom) {
        ::munmap(p, RoundUp(bytes, kLargePage));
        return;
    }
    char* const c = static_cast<char*>(p);
    Regions& rs = TheRegions();
    std::lock_guard<std::mutex> lock(rs.mutex);
    for (int i = 0; i < kMaxRegions; ++i) {
        Region& r = rs.regions[i];
        if (!r.base || c < r.base || c >= r.base + kRegionSize) continue;
        if (--r.live == 0) {
            ::munmap(r.base, kRegionSize);
            r = Region{};
            if (rs.current == i) rs.current = -1;
        } else {
            r.Give(static_cast<std::size_t>(c - r.base), RoundUp(bytes, kBlockAlign));
        }
        return;
    }
    // A run of its own, made while every region held blocks.
    ::munmap(p, RoundUp(bytes, kLargePage));
}

void PrepareBulk(void* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    const auto start = RoundUp(reinterpret_cast<std::uintptr_t>(p), 4096);
    const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~std::uintptr_t{4095};
    if (end > start) (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace script
