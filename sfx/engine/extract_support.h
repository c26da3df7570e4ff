#pragma once
// What the extraction engine's files share among themselves: questions,
// failure recording, entry lookup and the attributes an entry gives on
// disk. Not for the window.

#include <cstdint>
#include <memory>
#include <string>

#include "core/file_io.h"
#include "sfx/engine/extract_session.h"

namespace zk {

// Attributes a file or folder can be given; the rest (directory, reparse
// point, compression, ...) describe what the system made, not a wish.
constexpr uint32_t SETTABLE_ATTRIBUTES = ATTR_READONLY | ATTR_HIDDEN | ATTR_SYSTEM | ATTR_ARCHIVE |
                                         ATTR_TEMPORARY | ATTR_OFFLINE | ATTR_NOT_CONTENT_INDEXED;
// What an entry's stored attributes give on disk; none at all is "normal".
constexpr uint32_t AttributesToSet(uint32_t stored)
{
    return (stored & SETTABLE_ATTRIBUTES) ? (stored & SETTABLE_ATTRIBUTES) : ATTR_NORMAL;
}

// A question to the user; the answer (ANSWER_NONE when nobody could be
// asked, which callers take as cancel).
Answer Ask(ExtractSession& s, const std::wstring& text, MessageButtons buttons, MessageMark mark,
           uint8_t topic);

// Tells the user this thread's last system error ("[Error:%d] %s"), taken
// from GetLastError as the failing call left it.
void ReportSystemFailure(IUserDialogue& dialogue);

// A failure of the entry at path, recorded (RecordFailure) with the path as
// the user will find it in the log (without the long-path prefix) and this
// thread's last system error text. Always 1.
int Fail(ExtractSession& s, const std::wstring& path, uint32_t flag = 0);

// A drive root already ends with its backslash; the long form takes a
// doubled one literally.
std::wstring Child(const std::wstring& folder, const std::wstring& name);

// The information of a node: the one it holds, or one read for the moment
// into temporary. Null (failure recorded) when it cannot be read.
const EntryInfo* InfoOf(ExtractSession& s, EntryNode& node, std::unique_ptr<EntryInfo>& temporary);

// A name from the archive becomes a path component only when it stays one;
// otherwise ERR_BAD_NAME is recorded.
bool NameIsUsable(ExtractSession& s, const std::wstring& name);

// A symbolic link already at an entry's place in the destination could lead
// the writes anywhere: it is refused as an unsafe name (ERR_BAD_NAME
// recorded) and nothing is written through it. True when refused.
bool IsRefusedLink(ExtractSession& s, const std::wstring& path);

} // namespace zk
