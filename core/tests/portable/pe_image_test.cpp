#include <gtest/gtest.h>

#include <vector>

#include "core/byte_io.h"
#include "core/pe_image.h"

namespace {

struct Section {
    uint32_t raw_size;
    uint32_t raw_pos;
};

// A minimal image: DOS header, NT headers at 64+pad with an optional header
// of the given kind and declared size, then the section headers.
std::vector<uint8_t> MakeImage(const std::vector<Section>& sections, uint32_t pad = 0,
                               uint16_t declaredCount = 0xFFFF, uint16_t magic = zk::PE32_MAGIC,
                               uint16_t optionalSize = 0)
{
    if (optionalSize == 0)
        optionalSize = magic == zk::PE32PLUS_MAGIC ? zk::PE32PLUS_OPTIONAL_HEADER_SIZE
                                                    : zk::PE32_OPTIONAL_HEADER_SIZE;
    size_t table = zk::PE_FILE_HEADER_END + optionalSize;
    std::vector<uint8_t> img(64 + pad + table + 40 * sections.size());
    img[0] = 'M';
    img[1] = 'Z';
    zk::StoreU32(&img[60], 64 + pad);
    uint8_t* nt = &img[64 + pad];
    nt[0] = 'P';
    nt[1] = 'E';
    zk::StoreU16(nt + 6, declaredCount == 0xFFFF ? static_cast<uint16_t>(sections.size()) : declaredCount);
    zk::StoreU16(nt + 20, optionalSize);
    zk::StoreU16(nt + 24, magic);
    uint8_t* sh = nt + table;
    for (const Section& s : sections) {
        zk::StoreU32(sh + 16, s.raw_size);
        zk::StoreU32(sh + 20, s.raw_pos);
        sh += 40;
    }
    return img;
}

// Writes v at byte `at` of an image that holds it.
void Poke32(std::vector<uint8_t>& image, size_t at, uint32_t v)
{
    ASSERT_LE(at + 4, image.size());
    zk::StoreU32(image.data() + at, v);
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
    Poke32(negative, 60, 0x80000000u);
    EXPECT_FALSE(zk::PeImageEnd(negative.data(), negative.size(), &end));

    auto beyond = ok;
    Poke32(beyond, 60, 0x7FFFFFF0u);
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

    // An optional header of neither kind, or declared shorter than the
    // fields of its kind.
    auto rom = MakeImage({{0x200, 0x400}}, 0, 0xFFFF, 0x107, zk::PE32_OPTIONAL_HEADER_SIZE);
    EXPECT_FALSE(zk::PeImageEnd(rom.data(), rom.size(), &end));
    auto short32 = MakeImage({{0x200, 0x400}}, 0, 0xFFFF, zk::PE32_MAGIC, 95);
    EXPECT_FALSE(zk::PeImageEnd(short32.data(), short32.size(), &end));
    auto short64 = MakeImage({{0x200, 0x400}}, 0, 0xFFFF, zk::PE32PLUS_MAGIC, 111);
    EXPECT_FALSE(zk::PeImageEnd(short64.data(), short64.size(), &end));
    // A declared optional header that runs past the end of the image.
    auto pastEnd = MakeImage({{0x200, 0x400}}, 0, 0xFFFF, zk::PE32PLUS_MAGIC, 0xFFFF);
    pastEnd.resize(64 + 24 + 300);
    EXPECT_FALSE(zk::PeImageEnd(pastEnd.data(), pastEnd.size(), &end));

    EXPECT_FALSE(zk::PeImageEnd(ok.data(), 10, &end));
    EXPECT_FALSE(zk::PeImageEnd(nullptr, 0, &end));
}

// 64-bit programs have a longer optional header, so their section table
// starts 16 bytes later; a linker may also declare an unusual size. The table
// is found where the file header says, for both kinds.
TEST(PeImageEnd, FindsTheSectionTableAfterTheDeclaredOptionalHeader)
{
    struct Case {
        uint16_t magic;
        uint16_t optionalSize;
    } cases[] = {
        {zk::PE32_MAGIC, zk::PE32_OPTIONAL_HEADER_SIZE},
        {zk::PE32PLUS_MAGIC, zk::PE32PLUS_OPTIONAL_HEADER_SIZE},
        {zk::PE32_MAGIC, 96},
        {zk::PE32PLUS_MAGIC, 112},
        {zk::PE32PLUS_MAGIC, 256},
    };
    for (const Case& c : cases) {
        auto img = MakeImage({{0x200, 0x400}, {0x3000, 0x600}}, 8, 0xFFFF, c.magic, c.optionalSize);
        uint32_t end = 0;
        ASSERT_TRUE(zk::PeImageEnd(img.data(), img.size(), &end)) << c.magic << "/" << c.optionalSize;
        EXPECT_EQ(end, 0x3600u) << c.magic << "/" << c.optionalSize;
    }
}

} // namespace
