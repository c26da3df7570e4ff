// Entry names: the stored name field of an info record (encrypted, cut at
// its first zero code unit) and the checks that decide whether a decoded
// name may become a path component under the destination folder.
//
// Input: one mode byte (bit 0: narrow names), then the name's bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/archive_format.h"
#include "core/archive_key.h"
#include "core/entry_name.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/path_oracle.h"

using namespace zk;

namespace {

// The name field as a reader must see it: the stored bytes, zero filler up
// to whole blocks, cut at the first zero code unit.
std::vector<uint8_t> ExpectedName(const uint8_t* name, size_t n, bool narrow)
{
    std::vector<uint8_t> field(name, name + n);
    field.resize(RoundUp16(static_cast<uint32_t>(n)), 0);
    size_t unit = narrow ? 1 : 2;
    size_t length = 0;
    while (length + unit <= field.size() && !(field[length] == 0 && (narrow || field[length + 1] == 0)))
        length += unit;
    field.resize(length);
    return field;
}

void CheckStoredName(const uint8_t* name, size_t n, bool narrow)
{
    InfoRecord rec;
    rec.m_name.assign(name, name + n);
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    ZK_FUZZ_CHECK(PutInfoRecord(w, rec) == FormatStatus::Ok);
    ZK_FUZZ_CHECK(bytes.size() == InfoRecordSize(n));

    ArchiveHeader header;
    if (narrow) header.m_nFlags |= AF_NARROW_NAMES;
    MemoryByteSource src(bytes.data(), bytes.size());
    InfoRecord back;
    ZK_FUZZ_CHECK(ParseInfoRecord(src, header, &back) == FormatStatus::Ok);
    ZK_FUZZ_CHECK(src.Consumed() == bytes.size());
    ZK_FUZZ_CHECK(back.m_name == ExpectedName(name, n, narrow));

    // One byte short: the reader must notice, not read past the record.
    MemoryByteSource cut(bytes.data(), bytes.size() - 1);
    ZK_FUZZ_CHECK(ParseInfoRecord(cut, header, &back) == FormatStatus::Short);
}

void CheckPlainName(const std::u16string& name)
{
    // The extractor's check adds device names to the plain-name rules.
    if (IsSafeEntryName(name)) ZK_FUZZ_CHECK(IsPlainEntryName(name) && !IsReservedDeviceName(name));
    if (!IsPlainEntryName(name)) return;
    const std::u16string dest = u"work\\dest";
    std::vector<std::u16string> destParts, parts;
    ZK_FUZZ_CHECK(fuzz::ResolvePath(dest, &destParts));
    ZK_FUZZ_CHECK(fuzz::ResolvePath(dest + u"\\" + name, &parts));
    ZK_FUZZ_CHECK(parts.size() == destParts.size() + 1);
    ZK_FUZZ_CHECK(std::equal(destParts.begin(), destParts.end(), parts.begin()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size - 1 > TEXT_FIELD_MAX) return 0;
    const bool narrow = (data[0] & 1) != 0;
    const uint8_t* name = data + 1;
    size_t n = size - 1;

    SetArchiveKeyBytes("entry-name-fuzz");
    CheckStoredName(name, n, narrow);

    std::vector<uint8_t> bytes(name, name + n);
    std::u16string text = NameBytesToUtf16(bytes);
    CheckPlainName(text);
    // A name cut at its first zero unit, as a reader hands it on.
    size_t zero = text.find(u'\0');
    if (zero != std::u16string::npos) CheckPlainName(text.substr(0, zero));
    return 0;
}
