// The readers of the builder's settings files "Zelkora.env" and
// "Zelkora.sav", which may be damaged or written by anybody. A file that reads
// must keep the promises the builder relies on (flags 0 or 1, the options
// without a place in the window off, a volume size in range) and must come
// back unchanged after being written again.
//
// Input: the file's bytes; strings without the UTF-16 mark are decoded as
// ASCII (anything above 0x7F fails, as an unconvertible ANSI string does).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/serial_archive.h"
#include "core/settings_format.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

namespace {

bool DecodeAscii(const uint8_t* bytes, size_t size, std::u16string& out)
{
    out.clear();
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] > 0x7F) return false;
        out.push_back(bytes[i]);
    }
    return true;
}

bool SameEnv(const EnvFields& a, const EnvFields& b)
{
    return a.flags == b.flags && a.workFolder == b.workFolder && a.outputFolder == b.outputFolder &&
           a.reserved == b.reserved && a.exclusions == b.exclusions;
}

bool SamePrm(const PrmFields& a, const PrmFields& b)
{
    return a.sourcePaths == b.sourcePaths && a.archivePath == b.archivePath && a.splitMB == b.splitMB &&
           a.sfxNoUI == b.sfxNoUI && a.sfxDestFolder == b.sfxDestFolder && a.sfxTitle == b.sfxTitle &&
           a.sfxComment == b.sfxComment && a.sfxRunAfter == b.sfxRunAfter && a.sfxShowList == b.sfxShowList;
}

void Env(const uint8_t* data, size_t size)
{
    MemorySource src(data, size);
    SerialArchive ar(src, DecodeAscii);
    EnvFields f;
    if (ReadEnvFields(ar, f) != 0) return;
    for (uint8_t flag : f.flags)
        ZK_FUZZ_CHECK(flag == 0 || flag == 1);
    ZK_FUZZ_CHECK(f.flags[ENV_LONG_NAMES] == 0 && f.flags[ENV_SHIFT_JIS_NAMES] == 0 &&
                  f.flags[ENV_RESERVED] == 0 && f.reserved.empty());

    MemorySink sink;
    SerialArchive out(sink);
    WriteEnvFields(out, f);
    ZK_FUZZ_CHECK(out.Flush());
    MemorySource again(sink.m_bytes);
    SerialArchive in(again, DecodeAscii);
    EnvFields g;
    ZK_FUZZ_CHECK(ReadEnvFields(in, g) == 0);
    ZK_FUZZ_CHECK(in.BytesLeft() == 0);
    ZK_FUZZ_CHECK(SameEnv(f, g));
}

void Prm(const uint8_t* data, size_t size)
{
    MemorySource src(data, size);
    SerialArchive ar(src, DecodeAscii);
    PrmFields f;
    if (ReadPrmFields(ar, f) != 0) return;
    ZK_FUZZ_CHECK(f.splitMB >= 0 && f.splitMB <= MAX_SPLIT_MB);
    ZK_FUZZ_CHECK(f.sfxNoUI <= 1 && f.sfxShowList <= 1);

    MemorySink sink;
    SerialArchive out(sink);
    WritePrmFields(out, f);
    ZK_FUZZ_CHECK(out.Flush());
    MemorySource again(sink.m_bytes);
    SerialArchive in(again, DecodeAscii);
    PrmFields g;
    ZK_FUZZ_CHECK(ReadPrmFields(in, g) == 0);
    ZK_FUZZ_CHECK(in.BytesLeft() == 0);
    ZK_FUZZ_CHECK(SamePrm(f, g));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Env(data, size);
    Prm(data, size);
    return 0;
}
