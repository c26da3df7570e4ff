#pragma once
// The one message that ends a failed opening or extraction.

#include <cstdint>

#include "core/user_message.h"
#include "sfx/engine/archive_state.h"

namespace zk {

constexpr wchar_t ERROR_CAPTION[] = L"エラー";
constexpr wchar_t QUESTION_CAPTION[] = L"確認";

// The text for the first bit of flags set, in the order the user is told
// about them, or null when no known bit is set.
const wchar_t* ErrorMessageText(uint32_t flags);

// When the context failed and some flag is set: tells its message (the
// program's own, OK, error mark) and keeps the text as the context's message
// for the error log. Nothing is told otherwise.
void ShowErrorMessage(IUserDialogue& dialogue, WorkerContext& ctx, const ArchiveState& state);

} // namespace zk
