#pragma once
// The one message that ends a failed opening or extraction.

#include <windows.h>

#include <cstdint>

#include "sfx/engine/archive_state.h"

namespace zk {

constexpr wchar_t ERROR_CAPTION[] = L"エラー";
constexpr wchar_t QUESTION_CAPTION[] = L"確認";

// The text for the first bit of flags set, in the order the user is told
// about them, or null when no known bit is set.
const wchar_t* ErrorMessageText(uint32_t flags);

// When the context failed and some flag is set: shows its message (caption
// "エラー", OK) owned by owner, and keeps the text as the context's message
// for the error log. Nothing is shown otherwise.
void ShowErrorMessage(HWND owner, WorkerContext& ctx, const ArchiveState& state);

} // namespace zk
