#pragma once
// The engines speak Japanese, as the Windows programs do; the tool speaks
// English. Their texts are translated here, by the format they were made
// from, so that the arguments (paths, sizes) carry over. Portable.

#include <string>
#include <string_view>
#include <vector>

namespace zk {

// One engine text and the tool's text for it. Both take the same
// conversions in the same order ("%ls", "%d", "%u"); the tool's texts hold no
// line breaks, as it prints one line per message.
struct TextTranslation {
    const wchar_t* m_pEngine;
    const wchar_t* m_pTool;
};

// The tool's text for one made from a format of the table, with its
// arguments carried over and themselves translated; any other text
// unchanged.
std::wstring TranslateText(std::wstring_view text, const std::vector<TextTranslation>& table);

// Every engine text the tool can meet in a failure.
const std::vector<TextTranslation>& EngineTextTable();

// TranslateText over EngineTextTable.
std::wstring ToolText(std::wstring_view text);

} // namespace zk
