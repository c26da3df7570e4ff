#include "cli/cli_text.h"

#include <algorithm>
#include <cstdio>

#include "core/entry_name.h"
#include "core/utf8.h"

namespace zk {

std::filesystem::path FsPath(std::wstring_view path)
{
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    std::wstring native(path);
    for (wchar_t& c : native)
        if (c == L'\\') c = L'/';
    return std::filesystem::path(WideToUtf8(native));
#endif
}

std::wstring WideOf(const std::filesystem::path& path)
{
#ifdef _WIN32
    return path.wstring();
#else
    std::wstring wide = Utf8ToWide(path.string());
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return wide;
#endif
}

std::string JsonString(std::wstring_view text)
{
    std::string out = "\"";
    ForEachCodePoint(text, [&](char32_t c) {
        if (c == U'"') {
            out += "\\\"";
        } else if (c == U'\\') {
            out += "\\\\";
        } else if (c == U'\n') {
            out += "\\n";
        } else if (c == U'\t') {
            out += "\\t";
        } else if (c == U'\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        } else {
            AppendUtf8(out, c);
        }
    });
    return out + "\"";
}

void CJsonWriter::NewLine()
{
    m_strText += '\n';
    m_strText.append(m_listHasItem.size() * 2, ' ');
}

void CJsonWriter::Key(const char* key)
{
    if (!m_listHasItem.empty()) {
        if (m_listHasItem.back()) m_strText += ",";
        m_listHasItem.back() = true;
        NewLine();
    }
    if (key) m_strText += std::string("\"") + key + "\": ";
}

void CJsonWriter::BeginObject(const char* key)
{
    Key(key);
    m_strText += "{";
    m_listHasItem.push_back(false);
}

void CJsonWriter::BeginArray(const char* key)
{
    Key(key);
    m_strText += "[";
    m_listHasItem.push_back(false);
}

void CJsonWriter::EndObject()
{
    const bool had = m_listHasItem.back();
    m_listHasItem.pop_back();
    if (had) NewLine();
    m_strText += "}";
}

void CJsonWriter::EndArray()
{
    const bool had = m_listHasItem.back();
    m_listHasItem.pop_back();
    if (had) NewLine();
    m_strText += "]";
}

void CJsonWriter::String(const char* key, std::wstring_view value)
{
    Key(key);
    m_strText += JsonString(value);
}

void CJsonWriter::Number(const char* key, uint64_t value)
{
    Key(key);
    m_strText += std::to_string(value);
}

void CJsonWriter::Bool(const char* key, bool value)
{
    Key(key);
    m_strText += value ? "true" : "false";
}

std::string FormatSize(uint64_t bytes)
{
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* const UNITS[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f %s", value, UNITS[unit]);
    return buffer;
}

std::string FormatFileTime(uint64_t fileTime, bool iso)
{
    // Days from the civil date algorithm, counted from 1601-01-01.
    constexpr uint64_t TICKS_PER_SECOND = 10000000;
    const uint64_t seconds = fileTime / TICKS_PER_SECOND;
    int64_t days = static_cast<int64_t>(seconds / 86400);
    const uint32_t daySeconds = static_cast<uint32_t>(seconds % 86400);
    // 1601-01-01 is 134774 days before 1970-01-01.
    int64_t z = days - 134774 + 719468;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t year = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) ++year;
    if (year > 9999) return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer,
                  iso ? "%04d-%02d-%02dT%02u:%02u:%02uZ" : "%04d-%02d-%02d %02u:%02u:%02u",
                  static_cast<int>(year), static_cast<int>(month), static_cast<int>(day), daySeconds / 3600,
                  daySeconds / 60 % 60, daySeconds % 60);
    return buffer;
}

std::string FormatAttributes(uint32_t attributes)
{
    // Read-only, hidden, system, archive, directory: the bits Windows gives them.
    static const struct {
        uint32_t m_nBit;
        char m_cLetter;
    } LETTERS[] = {{0x1, 'R'}, {0x2, 'H'}, {0x4, 'S'}, {0x20, 'A'}, {0x10, 'D'}};
    std::string out;
    for (const auto& l : LETTERS)
        out += (attributes & l.m_nBit) ? l.m_cLetter : '-';
    return out;
}

std::string WindowsNameProblem(std::wstring_view name)
{
    if (name.empty()) return "empty name";
    for (wchar_t c : name) {
        if (c < 0x20) return "control character";
        if (std::wstring_view(L"\\:*?\"<>|").find(c) != std::wstring_view::npos)
            return std::string("character '") + static_cast<char>(c) + "'";
    }
    if (name.back() == L'.' || name.back() == L' ') return "ends in a dot or a blank";
    std::u16string units;
    ForEachCodePoint(name, [&](char32_t c) {
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    });
    if (IsReservedDeviceName(units)) return "device name";
    return std::string();
}

std::string PrintableText(std::wstring_view text)
{
    std::string out;
    ForEachCodePoint(text, [&](char32_t c) {
        // C1 controls too: some terminals act on them.
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = U'?';
        AppendUtf8(out, c);
    });
    return out;
}

std::vector<std::wstring> SplitEntryPath(std::wstring_view path)
{
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'/' || c == L'\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string ProgressLineText(const std::string& label, uint64_t done, uint64_t total, int width)
{
    width = std::max(width, 20);
    std::string tail(1, ' ');
    tail += FormatSize(done);
    tail += " / ";
    tail += FormatSize(total);
    const int fixed = static_cast<int>(label.size() + tail.size()) + 3; // " [" and "]"
    const int barWidth = std::max(width - fixed, 5);
    const uint64_t capped = std::min(done, total);
    const int filled =
        total ? static_cast<int>(static_cast<double>(capped) / static_cast<double>(total) * barWidth) : 0;
    std::string line = label + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(barWidth - filled), '.');
    return line + "]" + tail;
}

} // namespace zk
