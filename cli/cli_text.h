#pragma once
// The tool's texts: UTF-8 for everything it prints, JSON strings, sizes and
// times in a fixed form, and the names Windows cannot hold. Portable; no
// platform call.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/utf8.h"

namespace zk {


// A path in the engines' form (wide, "\\" between components) as the file
// system library takes it, and back. Outside Windows the engines' platform
// layer reads "\\" as "/" and file names as UTF-8 whatever the locale says;
// these do the same (the library's own conversion follows the C++ locale,
// which is plain ASCII unless the program changes it). A native name that
// holds a "\\" cannot be told from two components; pack refuses such names
// anyway, as Windows cannot hold them.
std::filesystem::path FsPath(std::wstring_view path);
std::wstring WideOf(const std::filesystem::path& path);

// A JSON string literal, quotes included: the two escapes JSON requires,
// control characters as \u00XX, everything else as UTF-8.
std::string JsonString(std::wstring_view text);

// Builds one JSON document: objects and arrays nest, commas and indentation
// are placed by the writer. Keys are ASCII.
class CJsonWriter {
public:
    void BeginObject(const char* key = nullptr);
    void EndObject();
    void BeginArray(const char* key = nullptr);
    void EndArray();
    void String(const char* key, std::wstring_view value);
    void Number(const char* key, uint64_t value);
    void Bool(const char* key, bool value);
    // The document, ending in a new line.
    std::string Text() const { return m_strText + "\n"; }

private:
    void Key(const char* key);
    void NewLine();
    std::string m_strText;
    std::vector<bool> m_listHasItem; // per open level: an item was written
};

// "1234567" bytes as "1.2 MiB"; below 1 KiB the exact count with " B".
std::string FormatSize(uint64_t bytes);

// A file time (100 ns since 1601-01-01 UTC) as "YYYY-MM-DD HH:MM:SS" UTC;
// ISO 8601 with "T" and "Z" when iso is set. Times before 1601 or past 9999
// cannot occur in a file time or a year of four digits; they print as
// "-".
std::string FormatFileTime(uint64_t fileTime, bool iso = false);

// Attributes as letters "RHSAD" with "-" for each one not set.
std::string FormatAttributes(uint32_t attributes);

// Why Windows cannot hold this one path component: empty when it can.
// Refused: \ : * ? " < > | and control characters, a trailing dot or blank,
// and device names (CON, NUL, COM1, ... also with an extension).
std::string WindowsNameProblem(std::wstring_view name);

// A text from an archive made safe for a terminal, in UTF-8: control
// characters (a hostile name could move the cursor or clear the screen)
// become '?'.
std::string PrintableText(std::wstring_view text);

// A path inside an archive as the user names it: its components, with "/"
// and "\\" both separating and empty components dropped.
std::vector<std::wstring> SplitEntryPath(std::wstring_view path);

// One line of the progress bar, at most width columns (at least 20 are
// used): label, bar, done and total.
std::string ProgressLineText(const std::string& label, uint64_t done, uint64_t total, int width);

} // namespace zk
