#pragma once
// Memory for the compiler's tables. A long script's tables take megabytes, filled once and
// dropped with the script; where the system hands out memory a 4 KiB page at a time, the
// first touch of each page costs more than all the work done in it. Blocks from a few KiB on
// therefore come from large runs taken straight from the system, 2 MiB-aligned so that it may
// back them with large pages, and carved one after the other so that the tables of a script
// share those pages; small ones come from the ordinary heap. Safe to use from any thread.
#include <cstddef>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace script {

// Blocks from this size on are bulk blocks. Under AddressSanitizer every block comes from the
// heap, where reads and writes past its end are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kBulkThreshold = static_cast<std::size_t>(-1);
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t kBulkThreshold = static_cast<std::size_t>(-1);
#else
constexpr std::size_t kBulkThreshold = 16 * 1024;
#endif
#else
constexpr std::size_t kBulkThreshold = 16 * 1024;
#endif

// Throws std::bad_alloc when the system has no room.
void* AllocateBulk(std::size_t bytes);
void FreeBulk(void* p, std::size_t bytes);
// Has the system back the whole pages within [p, p + bytes) of a bulk block now, as writing
// them would, without changing what they hold; where it cannot, nothing happens.
void PrepareBulk(void* p, std::size_t bytes);
// What a caller prepares at a time: a large page.
constexpr std::size_t kPrepareStep = 2 * 1024 * 1024;

template <typename T>
struct BulkAllocator {
    using value_type = T;
    BulkAllocator() = default;
    template <typename U>
    BulkAllocator(const BulkAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= kBulkThreshold) return static_cast<T*>(AllocateBulk(bytes));
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= kBulkThreshold)
            FreeBulk(p, bytes);
        else
            ::operator delete(p);
    }
    template <typename U>
    bool operator==(const BulkAllocator<U>&) const noexcept {
        return true;
    }
};

// The same, leaving new elements of a table that grows as they are (not zeroed): for a buffer
// that is written in full before it is read, such as a file read into it.
template <typename T>
struct UninitializedBulkAllocator : BulkAllocator<T> {
    using value_type = T;
    UninitializedBulkAllocator() = default;
    template <typename U>
    UninitializedBulkAllocator(const UninitializedBulkAllocator<U>&) noexcept {}
    template <typename U>
    struct rebind {
        using other = UninitializedBulkAllocator<U>;
    };
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <typename T>
using BulkVector = std::vector<T, BulkAllocator<T>>;
using BulkString = std::basic_string<char, std::char_traits<char>, BulkAllocator<char>>;

}  // namespace script
