#pragma once
// The error log both programs write: a UTF-16LE text with, per failure, the
// lines "ファイルパス：<path>" and "メッセージ　：<text>", each ended by CR LF.
// The builder keeps one open for a whole build ("Zelkora.log" beside the
// program); the extractor writes one beside the archive when an error is
// reported. A log that cannot be created is told by its caller, with
// LOG_CREATE_FAILED_TEXT.

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

    // Creates (or empties) the log file; false when it cannot be created.
    bool Open(const wchar_t* path);

    // Writes the byte-order mark FF FE (call it right after Open).
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

} // namespace zk
