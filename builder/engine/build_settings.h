#pragma once
// What one build is asked to do: a value the window thread fills from the
// settings records before the build starts (ToBuildSettings); the build
// thread only reads it.

#include <cstdint>
#include <string>
#include <vector>

namespace zk {

struct BuildSettings {
    std::wstring m_strProgramFolder; // with "\": the log and the extractor program live there
    // The extractor program put in front of ".exe" archives; empty: the one
    // in m_strProgramFolder.
    std::wstring m_strSfxProgramPath;
    std::wstring m_strArchivePath; // ".exe" self-extracting, anything else plain
    std::wstring m_strPassword;
    bool m_bVerify = false;
    bool m_bHash = false;
    bool m_bLongNames = false;
    bool m_bShiftJisNames = false;
    bool m_bIncludeHidden = false;
    bool m_bShowLogOnError = false;
    bool m_bUseWorkFolder = false;
    uint8_t m_nCompressKind = 0;  // 0 LZ4, 1 Deflate
    uint8_t m_nCompressLevel = 0; // 0 standard, 1 high
    std::wstring m_strWorkFolder;
    uint32_t m_nSplitMB = 0;  // 0: one file
    uint32_t m_nSfxFlags = 0; // SF_SHOW_LIST | SF_NO_UI
    std::wstring m_strSfxDestFolder;
    std::wstring m_strSfxTitle;
    std::wstring m_strSfxRunAfter;
    std::wstring m_strSfxComment;
    std::vector<std::wstring> m_listSources; // the chosen items' paths, in list order

    // The password does not stay behind in freed memory.
    void WipePassword();
};

} // namespace zk
