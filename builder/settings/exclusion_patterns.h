#pragma once
// The exclusion patterns as the settings dialog edits them: one text of
// patterns separated by ";", shown back sorted without regard to case.

#include <string>
#include <vector>

namespace zk {

// Longest pattern kept; longer pieces are left out (the edit shows at once
// that they were not taken).
constexpr size_t MAX_EXCLUSION_PATTERN = 255;

// Cuts at every ";", trims blanks (U+0020) at both ends, drops empty and
// over-long pieces and exact duplicates. Keeps the order of first sight.
std::vector<std::wstring> ParseExclusionPatterns(const std::wstring& text);

// The patterns sorted without regard to case (ties in their exact order, so
// the text is the same on every run) and joined by `separator`.
std::wstring JoinSortedPatterns(std::vector<std::wstring> patterns, const std::wstring& separator);

// The edit's text: joined by "; ".
inline std::wstring FormatExclusionPatterns(const std::vector<std::wstring>& patterns)
{
    return JoinSortedPatterns(patterns, L"; ");
}

} // namespace zk
