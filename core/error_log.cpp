#include "core/error_log.h"

#include "core/file_io.h"
#include "core/long_path.h"
#include "core/text_convert.h"

#include <cwchar>

namespace zk {

bool ErrorLog::Open(const wchar_t* path)
{
    Close();
    if (path) m_pFile = OpenStreamForWrite(LongPathForm(path));
    return m_pFile != nullptr;
}

bool ErrorLog::WriteByteOrderMark()
{
    static const unsigned char bom[2] = {0xFF, 0xFE};
    return m_pFile && fwrite(bom, 1, sizeof bom, m_pFile) == sizeof bom;
}

bool ErrorLog::WriteFailure(const wchar_t* failingPath, const wchar_t* message)
{
    // The system's error texts end with a line break of their own; kept, it
    // would add an empty line after every failure.
    std::wstring text = message ? message : L"";
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return Write(L"ファイルパス：" + ShortPathForm(failingPath ? failingPath : L"") + L"\r\n") &&
           Write(L"メッセージ　：" + text + L"\r\n");
}

bool ErrorLog::Write(const std::wstring& text)
{
    // UTF-16 units, written on little-endian machines only.
    const std::u16string units = ToU16(text);
    return m_pFile && fwrite(units.data(), sizeof(char16_t), units.size(), m_pFile) == units.size();
}

void ErrorLog::Close()
{
    if (m_pFile) fclose(m_pFile);
    m_pFile = nullptr;
}

std::wstring ExtractorLogPath(const wchar_t* archivePath)
{
    if (!archivePath) return std::wstring();
    std::wstring path(archivePath);
    RemoveExtension(path.data());
    path.resize(wcslen(path.c_str()));
    return path + L".log";
}

} // namespace zk
