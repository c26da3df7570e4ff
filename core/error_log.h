#pragma once
// The error log both programs write: a UTF-16LE text with, per failure, the
// lines "ファイルパス：<path>" and "メッセージ　：<text>", each ended by CR LF.
// The builder keeps one open for a whole build ("Zelkora.log" beside the
// program); the extractor writes one beside the archive when an error is
// reported and opens it in Notepad.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zk {

// One failure or notice as the log shows it.
struct ErrorLogRecord {
    std::wstring m_strPath;
    std::wstring m_strMessage;
};

// Shown when the log file cannot be created.
inline constexpr const wchar_t* LOG_CREATE_FAILED_TEXT = L"ログ用ファイルの作成に失敗しました";

class ErrorLog {
public:
    ErrorLog() = default;
    ~ErrorLog() { Close(); }
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // Creates (or empties) the log file. On failure shows
    // LOG_CREATE_FAILED_TEXT with the caller's caption (MB_ICONERROR, owner
    // may be null) and returns false.
    bool Create(const wchar_t* path, HWND owner, const wchar_t* caption);
    // The same without the box: the caller tells its user.
    bool Open(const wchar_t* path);

    // Writes the byte-order mark FF FE (call it right after Create).
    bool WriteByteOrderMark();

    // Writes the two lines of one failure: the path without its long-path
    // prefix and the message (usually LastErrorText()). Null texts are empty.
    bool WriteFailure(const wchar_t* failingPath, const wchar_t* message);

    bool IsOpen() const { return m_pFile != nullptr; }
    void Close();

private:
    bool Write(const std::wstring& text);

    FILE* m_pFile = nullptr;
};

// The extractor's log path: the archive path without its extension, plus ".log".
std::wstring ExtractorLogPath(const wchar_t* archivePath);

// The extractor's log: creates ExtractorLogPath(archivePath) with the
// byte-order mark, writes one failure, closes it and, when open is set,
// opens it with Notepad. A file that cannot be created is reported in a box
// captioned "エラー" owned by owner. False when nothing was written.
bool WriteExtractorErrorLog(const wchar_t* archivePath, const wchar_t* failingPath, const wchar_t* message,
                            HWND owner, bool open = true);
// The same with every record in order.
bool WriteExtractorErrorLog(const wchar_t* archivePath, const std::vector<ErrorLogRecord>& records,
                            HWND owner, bool open = true);

} // namespace zk
