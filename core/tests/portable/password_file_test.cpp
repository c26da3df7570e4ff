#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/password_file.h"

namespace zk {
namespace {

struct PasswordCase {
    const char* name;
    std::vector<uint8_t> bytes;
    bool ok;
    std::u16string password;
};

std::vector<uint8_t> B(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

class PasswordFileCases : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(PasswordFileCases, FirstLineInItsEncoding)
{
    const PasswordCase& c = GetParam();
    std::u16string got = u"unchanged";
    EXPECT_EQ(PasswordFromFileBytes(c.bytes.data(), c.bytes.size(), &got), c.ok);
    EXPECT_EQ(got, c.ok ? c.password : u"unchanged");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, PasswordFileCases,
    ::testing::Values(
        PasswordCase{"ascii without line end", B("kagi"), true, u"kagi"},
        PasswordCase{"first of several lines", B("kagi\r\nsecond\r\n"), true, u"kagi"},
        PasswordCase{"blanks are kept", B(" a b \n"), true, u" a b "},
        PasswordCase{"utf8 with bom", B("\xEF\xBB\xBF\xE9\x8D\xB5 key\n"), true, u"鍵 key"},
        PasswordCase{"utf8 four bytes", B("\xF0\x9F\x94\x91"), true, u"\U0001F511"},
        PasswordCase{"utf16le with bom", {0xFF, 0xFE, 0x75, 0x93, 'a', 0, '\r', 0, 'x', 0}, true, u"鍵a"},
        PasswordCase{"utf16be with bom", {0xFE, 0xFF, 0x93, 0x75, 0, 'b', 0, '\n'}, true, u"鍵b"},
        PasswordCase{"empty file", {}, false, u""},
        PasswordCase{"empty first line", B("\r\nkagi"), false, u""},
        PasswordCase{"bom only", {0xFF, 0xFE}, false, u""},
        PasswordCase{"odd utf16 length", {0xFF, 0xFE, 'a', 0, 'b'}, false, u""},
        PasswordCase{"shift-jis is not utf8", B("\x8C\xAE"), false, u""},
        PasswordCase{"overlong utf8", B("\xC0\xAF"), false, u""},
        PasswordCase{"utf8 surrogate", B("\xED\xA0\x80"), false, u""},
        PasswordCase{"cut utf8 sequence", B("ab\xE9\x8D"), false, u""}),
    [](const auto& info) {
        std::string s = info.param.name;
        for (char& ch : s)
            if (ch == ' ' || ch == '-') ch = '_';
        return s;
    });

} // namespace
} // namespace zk
