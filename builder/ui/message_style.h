#pragma once
// How the builder's messages look: its own under "ゼルコラ", questions under
// "確認", each box brought to the foreground.

#include "ui/worker_dialogue.h"

inline constexpr zk::CWorkerDialogue::Style BUILDER_MESSAGE_STYLE{L"ゼルコラ", L"確認", MB_SETFOREGROUND};
