// Writes archives no builder would make, for the tool's end-to-end tests:
// names that would leave the destination or name a device, and a name that
// would steer a terminal. cli_fixture FOLDER writes them into FOLDER.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/tests/test_archive.h"

namespace {

using zk::test::TestArchive;
using zk::test::TestEntry;

std::vector<uint8_t> Bytes(const char* text)
{
    return std::vector<uint8_t>(text, text + std::char_traits<char>::length(text));
}

bool Write(const std::string& folder, const char* name, const std::vector<TestEntry>& top)
{
    const TestArchive arc = zk::test::BuildTestArchive(top, {});
    if (!arc.m_bOk || arc.m_volumes.size() != 1) return false;
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(arc.m_volumes[0].data()),
              static_cast<std::streamsize>(arc.m_volumes[0].size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cli_fixture FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const TestEntry before = TestEntry::File(u"before.txt", Bytes("ok"));
    const TestEntry after = TestEntry::File(u"after.txt", Bytes("late"));
    struct Hostile {
        const char* m_pFile;
        TestEntry m_entry;
    };
    const Hostile archives[] = {
        {"hostile-parent.zka", TestEntry::File(u"..\\escape.txt", Bytes("evil"))},
        {"hostile-slash.zka", TestEntry::File(u"sub/escape.txt", Bytes("evil"))},
        {"hostile-drive.zka", TestEntry::File(u"C:escape.txt", Bytes("evil"))},
        {"hostile-device.zka", TestEntry::File(u"CON", Bytes("evil"))},
        {"hostile-folder.zka", TestEntry::Folder(u"..", {TestEntry::File(u"escape.txt", Bytes("evil"))})},
        {"hostile-terminal.zka", TestEntry::File(u"\x1b]0;owned\x07\x1b[2Jescape.txt", Bytes("evil"))},
    };
    for (const Hostile& h : archives) {
        if (!Write(folder, h.m_pFile, {before, h.m_entry, after})) {
            std::fprintf(stderr, "cli_fixture: %s could not be written\n", h.m_pFile);
            return 1;
        }
    }
    return 0;
}
