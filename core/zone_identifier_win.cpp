#include "core/zone_identifier.h"

#include <windows.h>

#include <vector>

#include "core/last_error.h"
#include "core/long_path.h"
#include "core/unique_handle.h"

namespace zk {

namespace {

std::wstring StreamPath(const wchar_t* path)
{
    return LongPathForm(path) + ZONE_IDENTIFIER_SUFFIX;
}

// Errors that say the file has no such stream (or its file system keeps
// no streams at all), rather than that it could not be read.
bool MeansNoStream(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED;
}

} // namespace

ZoneMark ReadZoneIdentifier(const wchar_t* path)
{
    ZoneMark mark;
    if (!path || !*path) return mark;
    FileHandle file(CreateFileW(StreamPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (MeansNoStream(GetLastError())) return mark;
        mark.m_bPresent = true;
        mark.m_strText = ZONE_IDENTIFIER_INTERNET;
        return mark;
    }
    mark.m_bPresent = true;
    std::vector<char> bytes(ZONE_IDENTIFIER_MAX_BYTES + 1);
    DWORD total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.data() + total, static_cast<DWORD>(bytes.size()) - total, &got,
                      nullptr)) {
            total = static_cast<DWORD>(bytes.size());
            break;
        }
        if (got == 0) break;
        total += got;
        if (total == bytes.size()) break;
    }
    if (total > ZONE_IDENTIFIER_MAX_BYTES)
        mark.m_strText = ZONE_IDENTIFIER_INTERNET;
    else
        mark.m_strText.assign(bytes.data(), total);
    return mark;
}

bool WriteZoneIdentifier(const wchar_t* path, const std::string& text)
{
    FileHandle file(CreateFileW(StreamPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    bool ok = file && (text.empty() ||
                       (WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
                        done == text.size()));
    if (!ok) {
        GetLastErrorText();
        return false;
    }
    return true;
}

} // namespace zk
