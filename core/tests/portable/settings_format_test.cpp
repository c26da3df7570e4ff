#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/settings_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool Latin1(const uint8_t* p, size_t n, std::u16string& out)
{
    out.assign(p, p + n);
    return true;
}

// Builds file bytes by hand, field by field, independently of the writer.
struct Layout {
    Bytes b;
    Layout& I32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
        return *this;
    }
    Layout& U8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Layout& Str(const std::u16string& s) // short strings only
    {
        b.insert(b.end(), {0xFF, 0xFE, 0xFF, static_cast<uint8_t>(s.size())});
        for (char16_t c : s) {
            b.push_back(static_cast<uint8_t>(c));
            b.push_back(static_cast<uint8_t>(c >> 8));
        }
        return *this;
    }
};

int ReadEnv(const Bytes& bytes, zk::EnvFields& f)
{
    zk::MemorySource src(bytes);
    zk::SerialArchive ar(src, Latin1);
    return zk::ReadEnvFields(ar, f);
}

int ReadPrm(const Bytes& bytes, zk::PrmFields& f)
{
    zk::MemorySource src(bytes);
    zk::SerialArchive ar(src, Latin1);
    return zk::ReadPrmFields(ar, f);
}

zk::EnvFields Prior()
{
    zk::EnvFields f;
    for (int i = 0; i < zk::ENV_FLAG_COUNT; ++i)
        f.flags[i] = 1;
    f.workFolder = u"C:\\prior-work\\";
    f.outputFolder = u"C:\\prior-out\\";
    f.exclusions = {u"prior"};
    return f;
}

TEST(EnvFile, HiddenOptionsAreForcedOffAndStrayFlagValuesBecomeOne)
{
    Layout l;
    l.I32(102);
    for (int i = 0; i < 14; ++i)
        l.U8(static_cast<uint8_t>(i == 0 ? 0 : 0x80 + i));
    l.Str(u"").Str(u"").I32(0).I32(-5);
    zk::EnvFields f = Prior();
    ASSERT_EQ(ReadEnv(l.b, f), 0);
    for (int i = 0; i < zk::ENV_FLAG_COUNT; ++i) {
        SCOPED_TRACE(i);
        bool forcedOff = i == zk::ENV_VERIFY || i == zk::ENV_LONG_NAMES || i == zk::ENV_SHIFT_JIS_NAMES ||
                         i == zk::ENV_RESERVED;
        EXPECT_EQ(f.flags[i], forcedOff ? 0 : 1);
    }
    EXPECT_TRUE(f.exclusions.empty()); // a negative count reads nothing
}

// Any cut of a valid file fails, so a half-written or truncated file never
// yields a half-filled record.
TEST(SettingsFiles, EveryTruncationFails)
{
    Layout env;
    env.I32(102);
    for (int i = 0; i < 14; ++i)
        env.U8(1);
    env.Str(u"C:\\w\\").Str(u"C:\\o\\").I32(0).I32(2).Str(u"*.tmp").Str(u"Thumbs.db");
    Layout prm;
    prm.I32(100).I32(2).Str(u"C:\\a").Str(u"C:\\b").Str(u"C:\\x.exe").I32(650).U8(0);
    prm.Str(u"d").Str(u"t").Str(u"c").Str(u"r").U8(1);

    zk::EnvFields ef;
    zk::PrmFields pf;
    ASSERT_EQ(ReadEnv(env.b, ef), 0);
    ASSERT_EQ(ReadPrm(prm.b, pf), 0);
    EXPECT_EQ(pf.sourcePaths, (std::vector<std::u16string>{u"C:\\a", u"C:\\b"}));
    EXPECT_EQ(pf.splitMB, 650);
    EXPECT_EQ(pf.sfxRunAfter, u"r");
    for (size_t n = 0; n < env.b.size(); ++n) {
        Bytes cut(env.b.begin(), env.b.begin() + n);
        EXPECT_EQ(ReadEnv(cut, ef), 1) << n;
    }
    for (size_t n = 0; n < prm.b.size(); ++n) {
        Bytes cut(prm.b.begin(), prm.b.begin() + n);
        EXPECT_EQ(ReadPrm(cut, pf), 1) << n;
    }
}

TEST(PrmFile, HostileCountsAndSizesAreRefused)
{
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Layout hugeCount;
    hugeCount.I32(100).I32(0x7FFFFFFF).Str(u"a").Str(u"b");
    Layout negativeSplit, bigSplit;
    for (auto [layout, split] : {std::pair{&negativeSplit, -1}, std::pair{&bigSplit, 32769}}) {
        layout->I32(100).I32(0).Str(u"x").I32(split).U8(0);
        layout->Str(u"").Str(u"").Str(u"").Str(u"").U8(1);
    }
    const Case cases[] = {
        {"2^31 paths in a few bytes", hugeCount.b},
        {"negative volume size", negativeSplit.b},
        {"volume size above 32768", bigSplit.b},
    };
    for (const Case& c : cases) {
        zk::PrmFields f;
        EXPECT_EQ(ReadPrm(c.bytes, f), 1) << c.what;
    }

    Layout noPaths;
    noPaths.I32(100).I32(-3).Str(u"x").I32(32768).U8(1);
    noPaths.Str(u"").Str(u"").Str(u"").Str(u"").U8(0);
    zk::PrmFields f;
    f.sourcePaths = {u"stale"};
    ASSERT_EQ(ReadPrm(noPaths.b, f), 0);
    EXPECT_TRUE(f.sourcePaths.empty());
    EXPECT_EQ(f.splitMB, 32768);
    EXPECT_EQ(f.sfxNoUI, 1);
    EXPECT_EQ(f.sfxShowList, 0);
}

// Damaged files of every kind: the readers must stay inside their input
// (the sanitizers of the native build watch that) and, when they accept a
// file, leave the invariants of the records in place.
TEST(SettingsFiles, RandomDamageNeverBreaksTheInvariants)
{
    Layout env;
    env.I32(102);
    for (int i = 0; i < 14; ++i)
        env.U8(1);
    env.Str(u"C:\\w\\").Str(u"C:\\o\\").I32(1).Str(u"r").I32(2).Str(u"*.tmp").Str(u"Thumbs.db");
    Layout prm;
    prm.I32(100).I32(2).Str(u"C:\\a").Str(u"C:\\b").Str(u"C:\\x.exe").I32(650).U8(0);
    prm.Str(u"d").Str(u"t").Str(u"c").Str(u"r").U8(1);

    std::mt19937 rng(12345);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes e = env.b, p = prm.b;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            e[rng() % e.size()] = static_cast<uint8_t>(rng());
            p[rng() % p.size()] = static_cast<uint8_t>(rng());
        }
        if (round % 10 == 0) e.resize(rng() % e.size());
        zk::EnvFields ef;
        if (ReadEnv(e, ef) == 0) {
            ++accepted;
            EXPECT_TRUE(ef.reserved.empty());
            EXPECT_EQ(ef.flags[zk::ENV_LONG_NAMES], 0);
            for (uint8_t flag : ef.flags)
                EXPECT_LE(flag, 1);
        }
        zk::PrmFields pf;
        if (ReadPrm(p, pf) == 0) {
            EXPECT_GE(pf.splitMB, 0);
            EXPECT_LE(pf.splitMB, zk::MAX_SPLIT_MB);
            EXPECT_LE(pf.sfxShowList, 1);
        }
    }
    EXPECT_GT(accepted, 0); // flips inside flag bytes leave valid files
}

} // namespace
