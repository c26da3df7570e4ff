#pragma once
// Small helpers of the build: its message boxes and message texts.

#include <windows.h>

#include <string>

#include "core/text_format.h"

namespace zk {

// Caption of the builder's own messages; questions carry "確認".
constexpr wchar_t BUILD_CAPTION[] = L"ゼルコラ";
constexpr wchar_t QUESTION_CAPTION[] = L"確認";

// Shows a message of the build (from the build thread) through the
// replaceable message-box function and returns the button chosen.
// Questions (any button set but OK alone) get the question caption.
int ShowBuildMessage(const std::wstring& text, UINT flags);

} // namespace zk
