// The quoted-field splitter that reads the builder's command line and the
// list of paths the shell extension hands over: text from another program.
// Fields must stay inside their slots, and quoting every field again (quotes
// doubled) and splitting the joined line must give the same fields back.
//
// Input: UTF-16LE text; the first unit picks the separator (blank when it is
// even, tab otherwise) and is not part of the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/quoted_field_splitter.h"
#include "fuzz/fuzz_check.h"

using namespace zk;

namespace {

std::vector<std::u16string> Fields(const QuotedFieldSplitter<char16_t>& s)
{
    std::vector<std::u16string> out;
    for (int i = 0; i < s.Count(); ++i) {
        const char16_t* f = s.Field(i);
        ZK_FUZZ_CHECK(f != nullptr);
        ZK_FUZZ_CHECK(f[s.FieldLength(i)] == u'\0');
        out.emplace_back(f, s.FieldLength(i));
    }
    ZK_FUZZ_CHECK(s.Field(s.Count()) == nullptr && s.Field(-1) == nullptr);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const char16_t separator = (LoadU16(data) & 1) ? u'\t' : u' ';
    const char16_t quote = u'"';
    std::u16string text((size - 2) / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = LoadU16(data + 2 + 2 * i);

    // Exactly the given length: no terminator after it to lean on.
    std::vector<char16_t> exact(text.begin(), text.end());
    QuotedFieldSplitter<char16_t> splitter;
    int n = splitter.Split(exact.empty() ? nullptr : exact.data(), static_cast<ptrdiff_t>(exact.size()),
                           separator, quote);
    if (exact.empty()) ZK_FUZZ_CHECK(n == 0);
    ZK_FUZZ_CHECK(n == -1 || n == splitter.Count());
    std::vector<std::u16string> fields = Fields(splitter);
    if (n < 0) return 0;

    std::u16string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        ZK_FUZZ_CHECK(fields[i].find_first_of(u"\r\n") == std::u16string::npos);
        if (i) joined += separator;
        joined += quote;
        for (char16_t c : fields[i]) {
            joined += c;
            if (c == quote) joined += quote;
        }
        joined += quote;
    }
    // Terminated this time: length -1.
    QuotedFieldSplitter<char16_t> again;
    int m = again.Split(joined.data(), -1, separator, quote);
    if (joined.find(u'\0') != std::u16string::npos) return 0; // the terminator cuts it short
    ZK_FUZZ_CHECK(m == static_cast<int>(fields.size()));
    ZK_FUZZ_CHECK(Fields(again) == fields);
    return 0;
}
