// The compiler's bulk blocks: every block its own bytes, whatever the order blocks are taken and
// given back in, across regions and with blocks of a run of their own.
#include "script/BulkMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Block {
    unsigned char* p;
    std::size_t size;
    unsigned char fill;
};

// The first and last bytes of each block hold its mark, and no two blocks share a byte.
bool Intact(const std::vector<Block>& blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& a = blocks[i];
        if (a.p[0] != a.fill || a.p[a.size - 1] != a.fill) return false;
        for (std::size_t j = i + 1; j < blocks.size(); ++j) {
            const Block& b = blocks[j];
            if (a.p < b.p + b.size && b.p < a.p + a.size) return false;
        }
    }
    return true;
}

TEST(BulkMemory, BlocksKeepTheirBytesWhateverTheOrderOfFreeing) {
    // Sizes in KiB: small, a few hundred, several MiB (two rounds fill more than a region), and
    // runs of their own.
    const std::size_t sizesKiB[] = {16, 300, 4096, 17, 20 * 1024, 700, 9000, 64, 30000, 1, 2048, 15000, 9000};
    for (int order = 0; order < 3; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        std::vector<Block> blocks;
        unsigned char fill = 1;
        for (int round = 0; round < 2; ++round) {
            for (std::size_t kib : sizesKiB) {
                const std::size_t size = kib * 1024 + static_cast<std::size_t>(round);
                auto* p = static_cast<unsigned char*>(script::AllocateBulk(size));
                ASSERT_NE(p, nullptr);
                p[0] = p[size - 1] = fill;
                blocks.push_back({p, size, fill++});
            }
            // Some given back at once: the last taken (taken again next), or one in the middle.
            Block b = order == 1 ? blocks.back() : blocks[blocks.size() / 2];
            blocks.erase(order == 1 ? blocks.end() - 1
                                    : blocks.begin() + static_cast<long>(blocks.size() / 2));
            script::FreeBulk(b.p, b.size);
        }
        EXPECT_TRUE(Intact(blocks));
        while (!blocks.empty()) {
            const std::size_t i = order == 0 ? 0 : (order == 1 ? blocks.size() - 1 : blocks.size() / 2);
            script::FreeBulk(blocks[i].p, blocks[i].size);
            blocks.erase(blocks.begin() + static_cast<long>(i));
            ASSERT_TRUE(Intact(blocks));
        }
    }
}

// A block given back leaves pages the script has touched already: the next blocks that fit take
// them before fresh ones, and blocks given back at the end of what was carved let the carving
// start over from them.
TEST(BulkMemory, BlocksGivenBackAreTakenAgainBeforeFreshMemory) {
    if (script::kBulkThreshold == static_cast<std::size_t>(-1))
        GTEST_SKIP() << "every block is a heap block here";
    constexpr std::size_t k = 1024;
    auto* a = static_cast<char*>(script::AllocateBulk(64 * k));
    auto* b = static_cast<char*>(script::AllocateBulk(256 * k));
    auto* c = static_cast<char*>(script::AllocateBulk(64 * k));
    script::FreeBulk(b, 256 * k);
    auto* d = static_cast<char*>(script::AllocateBulk(100 * k));
    auto* e = static_cast<char*>(script::AllocateBulk(100 * k));
    auto* f = static_cast<char*>(script::AllocateBulk(100 * k));  // 56 KiB are left: too few
    EXPECT_EQ(d, b);
    EXPECT_EQ(e, b + 100 * k);
    EXPECT_GT(f, c);
    // Given back out of order, then the last: the carving goes back over all of them.
    for (auto [p, size] : {std::pair{d, 100 * k}, {c, 64 * k}, {e, 100 * k}, {f, 100 * k}})
        script::FreeBulk(p, size);
    auto* g = static_cast<char*>(script::AllocateBulk(300 * k));
    EXPECT_EQ(g, b);
    script::FreeBulk(g, 300 * k);
    script::FreeBulk(a, 64 * k);
}

// Preparing pages ahead of their use leaves every byte as it was, whatever part of a block is
// prepared: whole pages, parts of pages at either end, nothing.
TEST(BulkMemory, PreparingPagesKeepsWhatTheyHold) {
    constexpr std::size_t kSize = 3 * 1024 * 1024 + 123;
    auto* p = static_cast<unsigned char*>(script::AllocateBulk(kSize));
    for (std::size_t i = 0; i < kSize; i += 997) p[i] = static_cast<unsigned char>(i / 997);
    const struct {
        std::size_t from, bytes;
    } cases[] = {{0, kSize}, {1, 4096}, {4095, 2}, {100, 0}, {5000, 2 * 1024 * 1024}, {kSize - 10, 10}};
    for (const auto& c : cases) script::PrepareBulk(p + c.from, c.bytes);
    bool same = true;
    for (std::size_t i = 0; i < kSize; i += 997) same = same && p[i] == static_cast<unsigned char>(i / 997);
    EXPECT_TRUE(same);
    script::FreeBulk(p, kSize);
}

TEST(BulkMemory, VectorsOfTheAllocatorGrowAndShrink) {
    script::BulkVector<uint32_t> a, b;
    for (uint32_t i = 0; i < 300000; ++i) {
        a.push_back(i);
        b.push_back(~i);
    }
    a.resize(10);
    a.shrink_to_fit();
    for (uint32_t i = 0; i < 300000; ++i) ASSERT_EQ(b[i], ~i);
    EXPECT_EQ(a.back(), 9u);
}

}  // namespace
