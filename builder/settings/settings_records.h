#pragma once
// The builder's two settings records: the environment (how archives are
// built, "Zelkora.env") and the archive parameters (what is built this time,
// "Zelkora.sav"). The wizard window owns one of each for the whole run; the
// pages, the settings dialog and the build engine use the fields directly.

#include <cstdint>
#include <set>
#include <string>

#include "builder/settings/source_item.h"
#include "core/serial_archive.h"
#include "core/settings_format.h"

namespace zk {
struct BuildSettings;
}

// A set of texts without duplicates (compared case-sensitively).
using CStringSet = std::set<std::wstring>;

class CVosmireEnv {
public:
    // Starts at the defaults, so that fields an older file lacks, or a file
    // that cannot be read, leave sensible values.
    CVosmireEnv();
    virtual ~CVosmireEnv() = default;
    CVosmireEnv(const CVosmireEnv&) = delete;
    CVosmireEnv& operator=(const CVosmireEnv&) = delete;

    // Verify, hash, Deflate, standard level, hidden files included, the two
    // usual exclusion patterns (not applied), the temporary folder as work
    // folder, no output folder.
    void SetDefaults();

    // Everything but m_setReserved.
    void CopyFrom(const CVosmireEnv& other);

    // Reads or writes, by the archive's direction. Reading is all or
    // nothing: on a short or damaged file (result 1) no field changes.
    virtual int Serialize(zk::SerialArchive& ar);
    void Store(zk::SerialArchive& ar) const;
    int Load(zk::SerialArchive& ar);

    // The fourteen flags, in the order of the file.
    uint8_t m_bVerify = 1;
    uint8_t m_bHash = 1;
    uint8_t m_nCompressKind = 1;  // 0 LZ4, 1 Deflate
    uint8_t m_nCompressLevel = 0; // 0 standard, 1 high
    uint8_t m_bLongNames = 0;
    uint8_t m_bShiftJisNames = 0;
    uint8_t m_bIncludeHidden = 1;
    uint8_t m_bReserved = 0;
    uint8_t m_bUseExclusions = 0;
    uint8_t m_bNoCompletionPage = 0;
    uint8_t m_bAutoSave = 0;
    uint8_t m_bShowLogOnError = 0;
    uint8_t m_bUseWorkFolder = 0;
    uint8_t m_bUseOutputFolder = 0;
    std::wstring m_strWorkFolder;
    std::wstring m_strOutputFolder;
    CStringSet m_setReserved;
    CStringSet m_setExclusions;

    // The flags as members, in file order (indexed by zk::EnvFlag).
    static uint8_t CVosmireEnv::*const FLAG_MEMBERS[zk::ENV_FLAG_COUNT];

private:
    zk::EnvFields ToFields() const;
};

class CVosmirePrm {
public:
    CVosmirePrm() = default;
    virtual ~CVosmirePrm() = default;
    CVosmirePrm(const CVosmirePrm&) = delete;
    CVosmirePrm& operator=(const CVosmirePrm&) = delete;

    // Reads or writes, by the archive's direction. Reading appends an item
    // per saved path (resolved by the shell, or bare when the path is gone)
    // and is all or nothing. The passwords are never written nor read.
    virtual int Serialize(zk::SerialArchive& ar);
    void Store(zk::SerialArchive& ar) const;
    int Load(zk::SerialArchive& ar);

    std::wstring m_strArchivePath; // ".exe" self-extracting, ".zka" plain
    int32_t m_nSplitMB = 0;        // 0 one file, else 1..32768
    std::wstring m_strPassword;
    std::wstring m_strPasswordConfirm;
    std::wstring m_strSfxDestFolder;
    std::wstring m_strSfxTitle;
    std::wstring m_strSfxComment;
    std::wstring m_strSfxRunAfter;
    uint8_t m_bSfxShowList = 1;
    uint8_t m_bSfxNoUI = 0;
    CShellDesktop m_shellDesktop;
    CSourceList m_listSources;
};

// The settings of one build, taken from the records on the window thread
// before the build starts: flags as the engine reads them, the chosen
// items' paths in list order, the program folder (with "\") where the log
// and the extractor program live.
zk::BuildSettings ToBuildSettings(const CVosmireEnv& env, const CVosmirePrm& prm,
                                  const std::wstring& programFolder);
