#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "core/pe_image.h"

namespace {

std::vector<uint8_t> ReadWholeFile(const wchar_t* path)
{
    std::vector<uint8_t> data;
    FILE* f = _wfopen(path, L"rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

// Archives are appended where the extractor's last section ends, so the
// program file must carry nothing after it (no symbol table, no signature).
TEST(ExtractorProgram, FileEndsExactlyAtItsLastSection)
{
    std::vector<uint8_t> image = ReadWholeFile(ZK_SFX_EXE);
    ASSERT_GT(image.size(), 4096u) << "cannot read the extractor program";
    uint32_t end = 0;
    ASSERT_TRUE(zk::PeImageEnd(image.data(), image.size(), &end));
    EXPECT_EQ(end, image.size());
}

} // namespace
