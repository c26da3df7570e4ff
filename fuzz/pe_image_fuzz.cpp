// Where a program image ends: the extractor reads its own headers (or those
// of a ".exe" named on its command line, which anybody may have written) to
// find where the appended archive begins.

#include <cstddef>
#include <cstdint>

#include "core/byte_io.h"
#include "core/pe_image.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t end = 0;
    bool ok = PeImageEnd(data, size, &end);

    // The steps on their own, each given all the bytes from where it starts.
    uint32_t nt = 0;
    unsigned count = 0;
    uint32_t table = 0;
    bool stepsOk = PeNtHeadersOffset(data, size, &nt) && nt <= size &&
                   PeSectionTable(data + nt, size - nt, &count, &table) && size - nt >= table;
    uint32_t stepsEnd = 0;
    if (stepsOk) {
        size_t first = static_cast<size_t>(nt) + table;
        stepsOk = PeSectionsEnd(data + first, size - first, count, &stepsEnd);
    }
    ZK_FUZZ_CHECK(ok == stepsOk);
    if (!ok) return 0;
    ZK_FUZZ_CHECK(end == stepsEnd);

    // The table is where the file header puts it, after an optional header
    // of either kind that holds at least its own fields.
    uint16_t magic = LoadU16(data + nt + 24);
    uint32_t optionalSize = LoadU16(data + nt + 20);
    ZK_FUZZ_CHECK(table == PE_FILE_HEADER_END + optionalSize);
    ZK_FUZZ_CHECK((magic == PE32_MAGIC && optionalSize >= 96) ||
                  (magic == PE32PLUS_MAGIC && optionalSize >= 112));

    // Every section header that was read lies inside the input, and the end
    // is the largest of the sections' ends.
    ZK_FUZZ_CHECK(count >= 1 && count <= PE_MAX_SECTIONS);
    uint64_t headersEnd = static_cast<uint64_t>(nt) + table + PE_SECTION_HEADER_SIZE * count;
    ZK_FUZZ_CHECK(headersEnd <= size);
    uint64_t largest = 0;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t* s = data + nt + table + PE_SECTION_HEADER_SIZE * i;
        uint64_t sum = static_cast<uint64_t>(LoadU32(s + 16)) + LoadU32(s + 20);
        if (sum > largest) largest = sum;
    }
    ZK_FUZZ_CHECK(largest == end);
    return 0;
}
