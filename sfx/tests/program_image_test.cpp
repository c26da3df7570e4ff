#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/byte_io.h"

#include "core/pe_image.h"

namespace {

std::vector<uint8_t> ReadWholeFile(const wchar_t* path)
{
    std::vector<uint8_t> data;
    FILE* f = _wfopen(path, L"rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
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

// Names of the DLLs a program image imports, lower-case.
std::set<std::string> ImportedDlls(const std::vector<uint8_t>& image)
{
    std::set<std::string> names;
    if (image.size() < 64) return names;
    uint32_t nt = zk::LoadU32(image.data() + 60);
    if (nt + 264 > image.size()) return names;
    const uint8_t* h = image.data() + nt;
    unsigned sections = zk::LoadU16(h + 6);
    size_t table = 24 + zk::LoadU16(h + 20);
    // Data directory 1: at 96 + 8 in a 32-bit optional header, 112 + 8 in a
    // 64-bit one.
    bool is64 = zk::LoadU16(h + 24) == zk::PE32PLUS_MAGIC;
    uint32_t importRva = zk::LoadU32(h + 24 + (is64 ? 120 : 104));
    auto toOffset = [&](uint32_t rva) -> size_t {
        for (unsigned i = 0; i < sections; ++i) {
            const uint8_t* s = h + table + 40 * i;
            if (s + 40 > image.data() + image.size()) break;
            uint32_t va = zk::LoadU32(s + 12), size = zk::LoadU32(s + 16), raw = zk::LoadU32(s + 20);
            if (rva >= va && rva < va + size) return raw + (rva - va);
        }
        return SIZE_MAX;
    };
    for (size_t d = toOffset(importRva); d != SIZE_MAX && d + 20 <= image.size(); d += 20) {
        uint32_t nameRva = zk::LoadU32(image.data() + d + 12);
        if (nameRva == 0) break;
        size_t n = toOffset(nameRva);
        if (n == SIZE_MAX) break;
        std::string name;
        for (; n < image.size() && image[n]; ++n)
            name += static_cast<char>(std::tolower(image[n]));
        names.insert(name);
    }
    return names;
}

// A self-extracting archive is often run from a downloads folder where
// anyone may have left a DLL. Imports are resolved before the program's
// first instruction, so it may import only DLLs the system always takes
// from its own folder (comctl32 comes through the side-by-side manifest).
TEST(ExtractorProgram, ImportsOnlyDllsTheSystemLoadsFromItsOwnFolder)
{
    const std::set<std::string> known = {"kernel32.dll", "user32.dll",  "gdi32.dll",   "advapi32.dll",
                                         "shell32.dll",  "shlwapi.dll", "ole32.dll",   "oleaut32.dll",
                                         "comdlg32.dll", "msvcrt.dll",  "comctl32.dll"};
    std::set<std::string> imported = ImportedDlls(ReadWholeFile(ZK_SFX_EXE));
    EXPECT_TRUE(imported.count("kernel32.dll"));
    for (const std::string& dll : imported)
        EXPECT_TRUE(known.count(dll)) << dll;
}

} // namespace
