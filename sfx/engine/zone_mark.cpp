#include "sfx/engine/zone_mark.h"

#include "core/last_error.h"
#include "core/zone_identifier.h"

namespace zk {

namespace {

constexpr wchar_t TEXT_MARK_FAILED[] =
    L"ダウンロード元を示すマーク（Zone.Identifier）を付けられませんでした：";

} // namespace

void LoadArchiveZoneMark(ExtractSession& s)
{
    s.m_zoneMark = ReadZoneIdentifier(s.m_state.m_strArchivePath.c_str());
}

void MarkExtractedFile(ExtractSession& s, const std::wstring& path, const std::wstring& shown)
{
    if (!s.m_zoneMark.m_bPresent) return;
    if (WriteZoneIdentifier(path.c_str(), s.m_zoneMark.m_strText)) return;
    s.m_ctx.m_listNotices.push_back({shown, std::wstring(TEXT_MARK_FAILED) + LastErrorText()});
}

} // namespace zk
