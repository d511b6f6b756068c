// SLIP decoding of what arrives on the serial line.
#include "link/Slip.h"
#include "tests/link/LinkTestSupport.h"

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

struct DecodeCase {
    const char* what;
    Bytes input;
    int capacity;
    Bytes expected; // empty: no frame (0)
};

TEST(SlipDecode, decodes_the_first_frame_within_the_capacity) {
    const Bytes noise = {1, 2, 3, 4};
    Bytes noisy = noise;
    noisy.insert(noisy.end(), {0xC0, 0x41, 0xC0});
    const std::vector<DecodeCase> cases = {
        {"escapes",
         {0xC0, 0x01, 0xDB, 0xDC, 0xDB, 0xDD, 0x02, 0xC0},
         171,
         {0x01, 0xC0, 0xDB, 0x02}},
        {"empty frame passed over", {0xC0, 0xC0, 0x41, 0xC0}, 171, {0x41}},
        {"escape of a plain byte keeps it", {0xC0, 0xDB, 0x41, 0xC0}, 171, {0x41}},
        {"noise uses up the capacity", noisy, 4, {}},
        {"noise leaves room for one byte", noisy, 5, {0x41}},
        {"exactly the capacity", {0xC0, 1, 2, 3, 0xC0}, 3, {1, 2, 3}},
        {"one byte more than the capacity", {0xC0, 1, 2, 3, 4, 0xC0}, 3, {}},
        {"no END behind the data", {0xC0, 1, 2, 3}, 171, {}},
        {"only the first of two frames", {0xC0, 1, 0xC0, 2, 0xC0}, 171, {1}},
    };
    for (const auto& c : cases) {
        Bytes output(200, 0xEE);
        const int length = SlipDecode(output.data(), c.capacity, c.input.data(), c.input.size());
        EXPECT_EQ(length, static_cast<int>(c.expected.size())) << c.what;
        EXPECT_EQ(Bytes(output.begin(), output.begin() + length), c.expected) << c.what;
        // Nothing is written beyond the capacity.
        for (size_t i = static_cast<size_t>(std::max(c.capacity, 0)); i < output.size(); ++i)
            ASSERT_EQ(output[i], 0xEE) << c.what;
    }
}

} // namespace
} // namespace kestrel::test
