#include "sfx/engine/error_message.h"

namespace zk {

namespace {

struct FlagMessage {
    uint32_t m_nFlag;
    const wchar_t* m_pText;
};

// Tested in this order: a file that is not there or not an archive at all
// is reported before what is wrong inside one.
constexpr FlagMessage ERROR_MESSAGES[] = {
    {ERR_NO_FILE, L"書庫ファイルは存在しません"},
    {ERR_NOT_ARCHIVE, L"書庫ファイルではありません"},
    {ERR_VERSION, L"書庫ファイルは非対応のバージョンです"},
    {ERR_NO_DATA, L"書庫データが格納されていません"},
    {ERR_PASSWORD, L"パスワードの入力に失敗しました"},
    {ERR_READ, L"書庫データが格納されていません"},
    {ERR_HASH, L"ハッシュ値が一致しません"},
    {ERR_READ_ONLY, L"読み取り専用ファイルのため上書きできません"},
    {ERR_BAD_NAME, L"書庫に不正なファイル名が含まれているため中止します"},
    {ERR_DAMAGED, L"書庫データが壊れています"},
};

} // namespace

const wchar_t* ErrorMessageText(uint32_t flags)
{
    for (const FlagMessage& m : ERROR_MESSAGES) {
        if (flags & m.m_nFlag) return m.m_pText;
    }
    return nullptr;
}

void ShowErrorMessage(IUserDialogue& dialogue, WorkerContext& ctx, const ArchiveState& state)
{
    if (!ctx.m_nFailed || state.m_nErrorFlags == 0) return;
    const wchar_t* text = ErrorMessageText(state.m_nErrorFlags);
    if (!text) return;
    ctx.m_strMessage = text;
    UserMessage message;
    message.m_nSource = SOURCE_PROGRAM;
    message.m_nButtons = BUTTONS_OK;
    message.m_nMark = MARK_ERROR;
    message.m_strText = text;
    dialogue.Tell(message);
}

} // namespace zk
