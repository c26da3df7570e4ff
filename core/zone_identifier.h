#pragma once
// The "Zone.Identifier" stream ("Mark-of-the-Web") that Windows attaches to
// downloaded files, so that programs warn before they open what came from
// the Internet. An extractor that copies an archive's mark to every file it
// writes keeps those warnings in place for the archive's contents.

#include <string>

namespace zk {

// The stream's name as it follows a file's path.
constexpr wchar_t ZONE_IDENTIFIER_SUFFIX[] = L":Zone.Identifier";
// Marks are a few lines; a larger stream is not taken as one.
constexpr size_t ZONE_IDENTIFIER_MAX_BYTES = 64 * 1024;
// What a file gets when its archive is marked but the mark cannot be read:
// the Internet zone, the one downloads carry.
constexpr char ZONE_IDENTIFIER_INTERNET[] = "[ZoneTransfer]\r\nZoneId=3\r\n";

// An archive's mark, read once per extraction run.
struct ZoneMark {
    bool m_bPresent = false;
    std::string m_strText; // the stream's bytes as read
};

// Reads the mark of the file at path (any path form). No stream: not
// present. A stream that is there but cannot be read whole (locked, too
// large, a failed read) still marks the archive, with the Internet zone.
ZoneMark ReadZoneIdentifier(const wchar_t* path);

// Writes text as the stream of the file at path (replacing one that is
// there). False with this thread's last error text set when it fails.
bool WriteZoneIdentifier(const wchar_t* path, const std::string& text);

} // namespace zk
