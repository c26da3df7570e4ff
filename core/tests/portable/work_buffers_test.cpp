#include "core/work_buffers.h"

#include <gtest/gtest.h>

namespace zk {
namespace {

TEST(WorkBufferSizeFor, SizeRule)
{
    constexpr uint64_t MiB = 1024 * 1024;
    const struct {
        uint64_t requested;
        uint32_t size;
    } cases[] = {
        {0, MiB},
        {MiB - 1, MiB},
        {MiB, MiB},
        {MiB + 1, MiB + 16},
        {MiB + 17, MiB + 32},
        {2 * MiB + 5, 2 * MiB + 16},
        {3 * MiB - 1, 3 * MiB},
        {3 * MiB, 2 * MiB},
        {5 * MiB - 1, 2 * MiB},
        {5 * MiB, 4 * MiB},
        {9 * MiB - 1, 4 * MiB},
        {9 * MiB, 8 * MiB},
        {uint64_t(16) << 30, 8 * MiB},
        {UINT64_MAX, 8 * MiB},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WorkBufferSizeFor(c.requested), c.size) << c.requested;
        EXPECT_EQ(WorkBufferSizeFor(c.requested) % 16, 0u);
    }
}

} // namespace
} // namespace zk
