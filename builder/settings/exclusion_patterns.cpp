#include "builder/settings/exclusion_patterns.h"

#include <windows.h>

#include <algorithm>

namespace zk {

std::vector<std::wstring> ParseExclusionPatterns(const std::wstring& text)
{
    std::vector<std::wstring> patterns;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos) end = text.size();
        size_t first = text.find_first_not_of(L' ', start);
        if (first != std::wstring::npos && first < end) {
            size_t last = text.find_last_not_of(L' ', end - 1);
            std::wstring piece = text.substr(first, last - first + 1);
            if (piece.size() <= MAX_EXCLUSION_PATTERN &&
                std::find(patterns.begin(), patterns.end(), piece) == patterns.end())
                patterns.push_back(std::move(piece));
        }
        start = end + 1;
    }
    return patterns;
}

std::wstring JoinSortedPatterns(std::vector<std::wstring> patterns, const std::wstring& separator)
{
    std::sort(patterns.begin(), patterns.end(), [](const std::wstring& a, const std::wstring& b) {
        int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                         static_cast<int>(b.size()), TRUE);
        if (order != CSTR_EQUAL) return order == CSTR_LESS_THAN;
        return a < b;
    });
    std::wstring text;
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (i > 0) text += separator;
        text += patterns[i];
    }
    return text;
}

} // namespace zk
