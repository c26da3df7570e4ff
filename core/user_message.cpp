#include "core/user_message.h"

namespace zk {

UserMessage SystemErrorMessage(uint32_t code, const std::wstring& text)
{
    UserMessage message;
    message.m_nSource = SOURCE_SYSTEM;
    message.m_nButtons = BUTTONS_OK;
    message.m_nMark = MARK_ERROR;
    message.m_strText = L"[Error:" + std::to_wstring(code) + L"] ";
    message.m_strText += text.empty() ? std::wstring(L"エラーメッセージ取得失敗") : text;
    return message;
}

} // namespace zk
