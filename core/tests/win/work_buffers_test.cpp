#include "core/work_buffers.h"

#include "core/archive_key.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zk {
namespace {

TEST(WorkBuffers, AllocateUseAndFreeAll)
{
    // The build asks with 0: half of the physical memory, so 8 MiB on any
    // machine with 18 MiB or more.
    ASSERT_EQ(AllocWorkBuffers(0), 8u * 1024 * 1024);
    ASSERT_NE(WorkBuffer(0), nullptr);
    ASSERT_NE(WorkBuffer(1), nullptr);
    EXPECT_NE(WorkBuffer(0), WorkBuffer(1));
    std::memset(WorkBuffer(0), 0xAB, WorkBufferSize());
    std::memset(WorkBuffer(1), 0xCD, WorkBufferSize());
    EXPECT_EQ(WorkBuffer(2), nullptr);

    ASSERT_NE(AllocCodecBuffer(3, 100), nullptr);
    EXPECT_EQ(AllocCodecBuffer(4, 100), nullptr);
    EXPECT_NE(CodecBuffer(3), nullptr);

    EXPECT_EQ(AllocWorkBuffers(1024 * 1024 + 1), 1024u * 1024 + 16) << "a second call replaces the buffers";

    FreeWorkBuffers();
    EXPECT_EQ(WorkBuffer(0), nullptr);
    EXPECT_EQ(WorkBuffer(1), nullptr);
    EXPECT_EQ(WorkBufferSize(), 0u);
    EXPECT_EQ(CodecBuffer(3), nullptr);
}

TEST(WorkBuffers, FreeingForgetsTheKeyText)
{
    SetArchiveKeyBytes("password");
    const uint32_t builds = ArchiveKeyScheduleBuilds();
    SetArchiveKeyBytes("password");
    EXPECT_EQ(ArchiveKeyScheduleBuilds(), builds);
    FreeWorkBuffers();
    SetArchiveKeyBytes("password");
    EXPECT_EQ(ArchiveKeyScheduleBuilds(), builds + 1) << "the next key is built afresh";
}

} // namespace
} // namespace zk
