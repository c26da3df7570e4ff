#include <gtest/gtest.h>

#include "core/entry_name.h"

namespace zk {
namespace {

TEST(EntryName, DeviceNamesInEveryDisguise)
{
    const char16_t* devices[] = {u"CON",           u"con",    u"Prn",    u"AUX",      u"nul",
                                 u"COM1",          u"com9",   u"LPT1",   u"lpt9",     u"NUL.txt",
                                 u"con.tar.gz",    u"AUX ",   u"nul...", u"CON .txt", u"COM\u00B9",
                                 u"LPT\u00B3.log", u"CONIN$", u"conout$"};
    for (const char16_t* name : devices) {
        EXPECT_TRUE(IsReservedDeviceName(name))
            << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_FALSE(IsSafeEntryName(name));
    }
    const char16_t* ordinary[] = {u"CONSOLE", u"COM",   u"COM10", u"LPT0",      u"NULL.txt", u"acon",
                                  u"x.CON",   u"com1x", u" CON",  u"AUXILIARY", u"PRN_1",    u"LPT\u00B4"};
    for (const char16_t* name : ordinary) {
        EXPECT_FALSE(IsReservedDeviceName(name))
            << std::string(name, name + std::char_traits<char16_t>::length(name));
    }
}

TEST(EntryName, OnlyPlainComponentsAreSafe)
{
    struct Case {
        const char16_t* m_pName;
        bool m_bSafe;
    } cases[] = {
        {u"", false},
        {u".", false},
        {u"..", false},
        {u"...", false},
        {u". .", false},
        {u"a\\b", false},
        {u"a/b", false},
        {u"..\\x", false},
        {u"C:", false},
        {u"a:stream", false},
        {u"tab\there", false},
        {u"nl\n", false},
        {u"a*", false},
        {u"q?", false},
        {u"a.txt.", false},
        {u"a.txt ", false},
        {u"folder.", false},
        {u"x \u3000 ", false},
        {u"file.txt", true},
        {u".hidden", true},
        {u"写真 2024.jpg", true},
        {u"a..b", true},
        {u"con-notes.txt", true},
        {u"a. b", true},
        {u"全角\u3000", true},
    };
    for (const Case& c : cases) {
        std::u16string name = c.m_pName;
        EXPECT_EQ(IsSafeEntryName(name), c.m_bSafe) << std::string(name.begin(), name.end());
    }
    EXPECT_FALSE(IsSafeEntryName(std::u16string(u"a\0b", 3)));
}

} // namespace
} // namespace zk
