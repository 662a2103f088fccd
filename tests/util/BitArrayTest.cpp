#include "util/BitArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

TEST(BitArray, SizesRoundUpToWholeBytes) {
    BitArray bits(13);
    EXPECT_EQ(16u, bits.BitCount());
    bits.SetBit(15);
    EXPECT_EQ(1, bits.TestBit(15));
    EXPECT_EQ(-1, bits.TestBit(16));
    bits.Allocate(0);
    EXPECT_EQ(0u, bits.BitCount());
    EXPECT_EQ(nullptr, bits.Bytes());

    BitArray empty;
    EXPECT_EQ(-1, empty.TestBit(0));
    empty.SetBit(0);
    empty.ClearBit(0);
    EXPECT_EQ(0, empty.ToggleBit(0));
    empty.SetAllBits();
    EXPECT_EQ(0u, empty.CountSetBits());
}

TEST(BitArray, ResizeKeepsTheLeadingBytes) {
    BitArray bits(16);
    bits.SetAllBits();
    bits.Resize(8);
    EXPECT_EQ(8u, bits.BitCount());
    EXPECT_EQ(8u, bits.CountSetBits());
    bits.Resize(24);
    EXPECT_EQ(24u, bits.BitCount());
    EXPECT_EQ(0xFF, bits.Bytes()[0]);
    EXPECT_EQ(0x00, bits.Bytes()[1]);
    EXPECT_EQ(16u, bits.CountClearBits());
}

TEST(BitArray, ToggleTestAndOutOfRange) {
    BitArray bits(8);
    EXPECT_EQ(1, bits.ToggleBit(3));
    EXPECT_EQ(0, bits.ToggleBit(3));
    EXPECT_EQ(0, bits.ToggleBit(8)) << "out of range changes nothing";
    bits.SetBit(1000);
    EXPECT_EQ(0u, bits.CountSetBits());
    bits.SetBit(0);
    EXPECT_EQ(0x01, bits.Bytes()[0]) << "least significant bit first";
}

TEST(BitArray, ExportImportAssign) {
    const uint8_t source[3] = {0x0F, 0xA0, 0x01};
    BitArray bits;
    bits.ImportBytes(source, 3);
    EXPECT_EQ(24u, bits.BitCount());
    EXPECT_EQ(7u, bits.CountSetBits());
    uint8_t* out = nullptr;
    ASSERT_EQ(3u, bits.ExportBytes(&out));
    EXPECT_EQ(0, std::memcmp(out, source, 3));
    std::free(out);

    BitArray copy;
    copy.Assign(bits);
    EXPECT_EQ(24u, copy.BitCount());
    EXPECT_NE(bits.Bytes(), copy.Bytes()) << "its own storage";
    copy.Assign(copy);
    EXPECT_EQ(7u, copy.CountSetBits()) << "assigning itself keeps the contents";
    BitArray assigned = copy;
    EXPECT_EQ(0xA0, assigned.Bytes()[1]);

    BitArray empty;
    EXPECT_EQ(0u, empty.ExportBytes(&out));
    EXPECT_EQ(nullptr, out);
}

namespace {
int g_failuresLeft = 0;
void* FailingAllocator(size_t bytes) {
    if (g_failuresLeft > 0) {
        --g_failuresLeft;
        return nullptr;
    }
    return std::malloc(bytes);
}
}  // namespace

TEST(BitArray, AFailingHeapLeavesItEmptyOrAsItWas) {
    BitArray::SetAllocatorForTesting(FailingAllocator);
    BitArray bits(16);
    bits.SetBit(3);

    g_failuresLeft = 1;
    bits.Resize(64);
    EXPECT_EQ(16u, bits.BitCount()) << "a failed resize loses nothing";
    EXPECT_EQ(1, bits.TestBit(3));

    BitArray other(8);
    g_failuresLeft = 1;
    other.Assign(bits);
    EXPECT_EQ(0u, other.BitCount()) << "no temporary block: empty";
    uint8_t* out = reinterpret_cast<uint8_t*>(&other);
    g_failuresLeft = 1;
    EXPECT_EQ(0u, bits.ExportBytes(&out));
    EXPECT_EQ(nullptr, out);

    g_failuresLeft = 1;
    bits.Allocate(32);
    EXPECT_EQ(0u, bits.BitCount());
    bits.SetBit(0);
    EXPECT_EQ(-1, bits.TestBit(0)) << "empty and still usable";
    bits.Allocate(8);
    EXPECT_EQ(8u, bits.BitCount());
    BitArray::SetAllocatorForTesting(nullptr);
}

TEST(BitArrayRandomized, AgreesWithAVectorOfBool) {
    std::mt19937 rng(42);
    BitArray bits;
    std::vector<bool> model;
    auto resizeModel = [&model](uint32_t n) { model.resize((n + 7) / 8 * 8, false); };
    for (int step = 0; step < 20000; ++step) {
        const int op = static_cast<int>(rng() % 10);
        const uint32_t index = rng() % 80;
        switch (op) {
            case 0:
                if (rng() % 20 == 0) {
                    const uint32_t n = rng() % 70;
                    bits.Allocate(n);
                    model.assign((n + 7) / 8 * 8, false);
                }
                break;
            case 1:
                if (rng() % 10 == 0) {
                    const uint32_t n = rng() % 70;
                    bits.Resize(n);
                    resizeModel(n);
                }
                break;
            case 2:
                bits.SetBit(index);
                if (index < model.size())
                    model[index] = true;
                break;
            case 3:
                bits.ClearBit(index);
                if (index < model.size())
                    model[index] = false;
                break;
            case 4: {
                const int result = bits.ToggleBit(index);
                if (index < model.size()) {
                    model[index] = !model[index];
                    ASSERT_EQ(model[index] ? 1 : 0, result);
                } else {
                    ASSERT_EQ(0, result);
                }
                break;
            }
            case 5:
                if (rng() % 30 == 0) {
                    bits.SetAllBits();
                    model.assign(model.size(), true);
                }
                break;
            case 6: {
                BitArray copy(bits);
                bits = copy;
                break;
            }
            default: {
                const int expected = index < model.size() ? (model[index] ? 1 : 0) : -1;
                ASSERT_EQ(expected, bits.TestBit(index)) << "step " << step;
            }
        }
        ASSERT_EQ(model.size(), bits.BitCount());
        const auto set = static_cast<uint32_t>(std::count(model.begin(), model.end(), true));
        ASSERT_EQ(set, bits.CountSetBits());
        ASSERT_EQ(model.size() - set, bits.CountClearBits());
    }
}

namespace {
size_t g_largestRequest = 0;
// Remembers the largest block asked for and hands out none above 1 MiB.
void* RecordingAllocator(size_t bytes) {
    g_largestRequest = std::max(g_largestRequest, bytes);
    return bytes > (1u << 20) ? nullptr : std::malloc(bytes);
}
}  // namespace

TEST(BitArray, SizesBeyondTheBitCountAreRefused) {
    BitArray::SetAllocatorForTesting(RecordingAllocator);
    BitArray bits(16);
    bits.SetBit(5);
    g_largestRequest = 0;
    // 0xFFFFFFF9 bits need 0x20000000 bytes, whose bit count does not fit
    // 32 bits: no storage is asked for at all.
    bits.Resize(0xFFFFFFF9u);
    EXPECT_EQ(0u, g_largestRequest);
    EXPECT_EQ(16u, bits.BitCount()) << "a refused resize changes nothing";
    EXPECT_EQ(1, bits.TestBit(5));
    bits.Allocate(0xFFFFFFFFu);
    EXPECT_EQ(0u, g_largestRequest);
    EXPECT_EQ(0u, bits.BitCount());
    EXPECT_EQ(nullptr, bits.Bytes());
    // The largest describable size is asked for (and here refused by the heap).
    bits.Allocate(0xFFFFFFF8u);
    EXPECT_EQ(0x1FFFFFFFu, g_largestRequest);
    EXPECT_EQ(0u, bits.BitCount());
    BitArray::SetAllocatorForTesting(nullptr);
}
