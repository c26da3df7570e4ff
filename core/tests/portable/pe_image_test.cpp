#include <gtest/gtest.h>

#include <vector>

#include "core/byte_io.h"
#include "core/pe_image.h"

namespace {

struct Section {
    uint32_t raw_size;
    uint32_t raw_pos;
};

// A minimal image: DOS header, NT headers at 64+pad, then section headers.
std::vector<uint8_t> MakeImage(const std::vector<Section>& sections, uint32_t pad = 0,
                               uint16_t declaredCount = 0xFFFF)
{
    std::vector<uint8_t> img(64 + pad + zk::PE_NT_HEADERS_SIZE + 40 * sections.size());
    img[0] = 'M';
    img[1] = 'Z';
    zk::StoreU32(&img[60], 64 + pad);
    uint8_t* nt = &img[64 + pad];
    nt[0] = 'P';
    nt[1] = 'E';
    zk::StoreU16(nt + 6, declaredCount == 0xFFFF ? static_cast<uint16_t>(sections.size()) : declaredCount);
    uint8_t* sh = nt + zk::PE_NT_HEADERS_SIZE;
    for (const Section& s : sections) {
        zk::StoreU32(sh + 16, s.raw_size);
        zk::StoreU32(sh + 20, s.raw_pos);
        sh += 40;
    }
    return img;
}

TEST(PeImageEnd, TakesTheLargestEndOverAllSectionsNotTheLastListed)
{
    auto img = MakeImage({{0x200, 0x400}, {0x1000, 0x600}, {0x200, 0x1600}, {0x100, 0x800}}, 16);
    uint32_t end = 0;
    ASSERT_TRUE(zk::PeImageEnd(img.data(), img.size(), &end));
    EXPECT_EQ(end, 0x1800u);
}

TEST(PeImageEnd, RejectsDamagedOrHostileHeaders)
{
    uint32_t end = 0;
    auto ok = MakeImage({{0x200, 0x400}});

    auto noMz = ok;
    noMz[0] = 'X';
    EXPECT_FALSE(zk::PeImageEnd(noMz.data(), noMz.size(), &end));

    auto negative = ok;
    zk::StoreU32(&negative[60], 0x80000000u);
    EXPECT_FALSE(zk::PeImageEnd(negative.data(), negative.size(), &end));

    auto beyond = ok;
    zk::StoreU32(&beyond[60], 0x7FFFFFF0u);
    EXPECT_FALSE(zk::PeImageEnd(beyond.data(), beyond.size(), &end));

    auto noPe = ok;
    noPe[64] = 'X';
    EXPECT_FALSE(zk::PeImageEnd(noPe.data(), noPe.size(), &end));

    // More sections announced than the buffer holds, or an absurd count.
    auto tooMany = MakeImage({{0x200, 0x400}}, 0, 3);
    EXPECT_FALSE(zk::PeImageEnd(tooMany.data(), tooMany.size(), &end));
    auto absurd = MakeImage({{0x200, 0x400}}, 0, 0xFFFE);
    EXPECT_FALSE(zk::PeImageEnd(absurd.data(), absurd.size(), &end));
    auto none = MakeImage({}, 0, 0);
    EXPECT_FALSE(zk::PeImageEnd(none.data(), none.size(), &end));

    // Position + size beyond 32 bits would wrap to a small offset.
    auto wraps = MakeImage({{0xFFFFFF00u, 0x200}});
    EXPECT_FALSE(zk::PeImageEnd(wraps.data(), wraps.size(), &end));

    EXPECT_FALSE(zk::PeImageEnd(ok.data(), 10, &end));
    EXPECT_FALSE(zk::PeImageEnd(nullptr, 0, &end));
}

} // namespace
