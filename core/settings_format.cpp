#include "core/settings_format.h"

namespace zk {

namespace {

// Reads a signed count and then that many strings. A count <= 0 reads none.
// Nothing is reserved from the count: every string takes at least one byte,
// so a damaged count ends at the end of the data, not in the allocator.
void ReadStringList(SerialArchive& ar, std::vector<std::u16string>& out)
{
    out.clear();
    int32_t count = ar.ReadI32();
    for (int32_t i = 0; i < count && ar.Ok(); ++i) {
        std::u16string s = ar.ReadString();
        if (ar.Ok()) out.push_back(std::move(s));
    }
}

void WriteStringList(SerialArchive& ar, const std::vector<std::u16string>& list)
{
    ar.WriteI32(static_cast<int32_t>(list.size()));
    for (const std::u16string& s : list)
        ar.WriteString(s);
}

// Every flag of both files is a yes/no or a two-way choice; a stray value from
// a damaged file would otherwise reach list indexes and switches.
uint8_t ReadFlag(SerialArchive& ar)
{
    return ar.ReadU8() != 0 ? 1 : 0;
}

} // namespace

// "Zelkora.env":
//   i32     schema (102 when written)
//   u8 x2   verify, hash
//   u8      compress kind                     (schema >= 101)
//   u8 x10  compress level, long names, Shift-JIS names, include hidden,
//           reserved, use exclusions, no completion page, auto save,
//           show log on error, use work folder
//   u8      use output folder                 (schema >= 102)
//   string  work folder
//   string  output folder                     (schema >= 102)
//   i32 + strings   reserved list (written empty)
//   i32 + strings   exclusion patterns
int ReadEnvFields(SerialArchive& ar, EnvFields& f)
{
    f.reserved.clear();
    f.exclusions.clear();
    int32_t schema = ar.ReadI32();
    for (int i = 0; i < ENV_FLAG_COUNT; ++i) {
        if (i == ENV_COMPRESS_KIND && schema < 101) continue;
        if (i == ENV_USE_OUTPUT_FOLDER && schema < 102) continue;
        f.flags[i] = ReadFlag(ar);
    }
    f.workFolder = ar.ReadString();
    if (schema >= 102) f.outputFolder = ar.ReadString();
    ReadStringList(ar, f.reserved);
    ReadStringList(ar, f.exclusions);
    if (!ar.Ok()) return 1;

    // These options have no place in the user interface: every run starts
    // with them off, whatever an earlier run left in the file.
    f.flags[ENV_LONG_NAMES] = 0;
    f.flags[ENV_SHIFT_JIS_NAMES] = 0;
    f.flags[ENV_RESERVED] = 0;
    f.reserved.clear();
    return 0;
}

void WriteEnvFields(SerialArchive& ar, const EnvFields& f)
{
    ar.WriteI32(ENV_SCHEMA);
    for (uint8_t flag : f.flags)
        ar.WriteU8(flag);
    ar.WriteString(f.workFolder);
    ar.WriteString(f.outputFolder);
    ar.WriteI32(0);
    WriteStringList(ar, f.exclusions);
}

// "Zelkora.sav":
//   i32              schema (100 when written; not checked on reading)
//   i32 + strings    source paths, in list order
//   string           archive path
//   i32              volume size in MB
//   u8               no extractor window
//   string x4        destination folder, title, comment, command after
//   u8               show the contents list
// The password is not part of the file.
int ReadPrmFields(SerialArchive& ar, PrmFields& f)
{
    ar.ReadI32();
    ReadStringList(ar, f.sourcePaths);
    f.archivePath = ar.ReadString();
    f.splitMB = ar.ReadI32();
    f.sfxNoUI = ReadFlag(ar);
    f.sfxDestFolder = ar.ReadString();
    f.sfxTitle = ar.ReadString();
    f.sfxComment = ar.ReadString();
    f.sfxRunAfter = ar.ReadString();
    f.sfxShowList = ReadFlag(ar);
    if (!ar.Ok()) return 1;
    if (f.splitMB < 0 || f.splitMB > MAX_SPLIT_MB) return 1;
    return 0;
}

void WritePrmFields(SerialArchive& ar, const PrmFields& f)
{
    ar.WriteI32(PRM_SCHEMA);
    WriteStringList(ar, f.sourcePaths);
    ar.WriteString(f.archivePath);
    ar.WriteI32(f.splitMB);
    ar.WriteU8(f.sfxNoUI);
    ar.WriteString(f.sfxDestFolder);
    ar.WriteString(f.sfxTitle);
    ar.WriteString(f.sfxComment);
    ar.WriteString(f.sfxRunAfter);
    ar.WriteU8(f.sfxShowList);
}

} // namespace zk
