#include "builder/settings/settings_records.h"

#include "builder/engine/build_settings.h"
#include "core/archive_format.h"

#include <vector>

#include "core/temp_files.h"
#include "core/text_convert.h"

uint8_t CVosmireEnv::*const CVosmireEnv::FLAG_MEMBERS[zk::ENV_FLAG_COUNT] = {
    &CVosmireEnv::m_bVerify,        &CVosmireEnv::m_bHash,
    &CVosmireEnv::m_nCompressKind,  &CVosmireEnv::m_nCompressLevel,
    &CVosmireEnv::m_bLongNames,     &CVosmireEnv::m_bShiftJisNames,
    &CVosmireEnv::m_bIncludeHidden, &CVosmireEnv::m_bReserved,
    &CVosmireEnv::m_bUseExclusions, &CVosmireEnv::m_bNoCompletionPage,
    &CVosmireEnv::m_bAutoSave,      &CVosmireEnv::m_bShowLogOnError,
    &CVosmireEnv::m_bUseWorkFolder, &CVosmireEnv::m_bUseOutputFolder,
};

CVosmireEnv::CVosmireEnv()
{
    SetDefaults();
}

void CVosmireEnv::SetDefaults()
{
    static constexpr uint8_t DEFAULT_FLAGS[zk::ENV_FLAG_COUNT] = {1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    m_setReserved.clear();
    m_setExclusions.clear();
    for (int i = 0; i < zk::ENV_FLAG_COUNT; ++i)
        this->*FLAG_MEMBERS[i] = DEFAULT_FLAGS[i];
    m_strWorkFolder.clear();
    zk::GetTempFolder(m_strWorkFolder);
    m_strOutputFolder.clear();
    m_setExclusions.insert(L"*.tmp");
    m_setExclusions.insert(L"Thumbs.db");
}

void CVosmireEnv::CopyFrom(const CVosmireEnv& other)
{
    if (&other == this) return;
    m_setReserved.clear();
    m_setExclusions.clear();
    for (auto member : FLAG_MEMBERS)
        this->*member = other.*member;
    m_strWorkFolder = other.m_strWorkFolder;
    m_strOutputFolder = other.m_strOutputFolder;
    m_setExclusions = other.m_setExclusions;
}

zk::EnvFields CVosmireEnv::ToFields() const
{
    zk::EnvFields f;
    for (int i = 0; i < zk::ENV_FLAG_COUNT; ++i)
        f.flags[i] = this->*FLAG_MEMBERS[i];
    f.workFolder = zk::ToU16(m_strWorkFolder);
    f.outputFolder = zk::ToU16(m_strOutputFolder);
    for (const std::wstring& s : m_setReserved)
        f.reserved.push_back(zk::ToU16(s));
    for (const std::wstring& s : m_setExclusions)
        f.exclusions.push_back(zk::ToU16(s));
    return f;
}

int CVosmireEnv::Serialize(zk::SerialArchive& ar)
{
    if (ar.IsStoring()) {
        Store(ar);
        return ar.Ok() ? 0 : 1;
    }
    return Load(ar);
}

void CVosmireEnv::Store(zk::SerialArchive& ar) const
{
    zk::WriteEnvFields(ar, ToFields());
}

int CVosmireEnv::Load(zk::SerialArchive& ar)
{
    zk::EnvFields f = ToFields();
    if (zk::ReadEnvFields(ar, f) != 0) return 1;
    for (int i = 0; i < zk::ENV_FLAG_COUNT; ++i)
        this->*FLAG_MEMBERS[i] = f.flags[i];
    m_strWorkFolder = zk::ToWide(f.workFolder);
    m_strOutputFolder = zk::ToWide(f.outputFolder);
    m_setReserved.clear();
    m_setExclusions.clear();
    for (const std::u16string& s : f.exclusions)
        m_setExclusions.insert(zk::ToWide(s));
    return 0;
}

int CVosmirePrm::Serialize(zk::SerialArchive& ar)
{
    if (ar.IsStoring()) {
        Store(ar);
        return ar.Ok() ? 0 : 1;
    }
    return Load(ar);
}

void CVosmirePrm::Store(zk::SerialArchive& ar) const
{
    zk::PrmFields f;
    // An unresolved item saves the path it was given, so that a source that
    // is offline today is still there after the next reload.
    for (const auto& item : m_listSources)
        f.sourcePaths.push_back(zk::ToU16(item->GetPath()));
    f.archivePath = zk::ToU16(m_strArchivePath);
    f.splitMB = m_nSplitMB;
    f.sfxNoUI = m_bSfxNoUI;
    f.sfxDestFolder = zk::ToU16(m_strSfxDestFolder);
    f.sfxTitle = zk::ToU16(m_strSfxTitle);
    f.sfxComment = zk::ToU16(m_strSfxComment);
    f.sfxRunAfter = zk::ToU16(m_strSfxRunAfter);
    f.sfxShowList = m_bSfxShowList;
    zk::WritePrmFields(ar, f);
}

int CVosmirePrm::Load(zk::SerialArchive& ar)
{
    zk::PrmFields f;
    if (zk::ReadPrmFields(ar, f) != 0) return 1;
    for (const std::u16string& path : f.sourcePaths)
        m_listSources.push_back(m_shellDesktop.MakeItem(zk::ToWide(path)));
    m_strArchivePath = zk::ToWide(f.archivePath);
    m_nSplitMB = f.splitMB;
    m_bSfxNoUI = f.sfxNoUI;
    m_strSfxDestFolder = zk::ToWide(f.sfxDestFolder);
    m_strSfxTitle = zk::ToWide(f.sfxTitle);
    m_strSfxComment = zk::ToWide(f.sfxComment);
    m_strSfxRunAfter = zk::ToWide(f.sfxRunAfter);
    m_bSfxShowList = f.sfxShowList;
    return 0;
}

zk::BuildSettings ToBuildSettings(const CVosmireEnv& env, const CVosmirePrm& prm,
                                  const std::wstring& programFolder)
{
    zk::BuildSettings s;
    s.m_strProgramFolder = programFolder;
    s.m_strArchivePath = prm.m_strArchivePath;
    s.m_strPassword = prm.m_strPassword;
    s.m_bVerify = env.m_bVerify != 0;
    s.m_bHash = env.m_bHash != 0;
    s.m_nCompressKind = env.m_nCompressKind != 0 ? 1 : 0;
    s.m_nCompressLevel = env.m_nCompressLevel != 0 ? 1 : 0;
    s.m_bLongNames = env.m_bLongNames != 0;
    s.m_bShiftJisNames = env.m_bShiftJisNames != 0;
    s.m_bIncludeHidden = env.m_bIncludeHidden != 0;
    s.m_bShowLogOnError = env.m_bShowLogOnError != 0;
    s.m_bUseWorkFolder = env.m_bUseWorkFolder != 0;
    s.m_strWorkFolder = env.m_strWorkFolder;
    s.m_nSplitMB = prm.m_nSplitMB > 0 ? static_cast<uint32_t>(prm.m_nSplitMB) : 0;
    s.m_nSfxFlags = (prm.m_bSfxShowList ? zk::SF_SHOW_LIST : 0) | (prm.m_bSfxNoUI ? zk::SF_NO_UI : 0);
    s.m_strSfxDestFolder = prm.m_strSfxDestFolder;
    s.m_strSfxTitle = prm.m_strSfxTitle;
    s.m_strSfxRunAfter = prm.m_strSfxRunAfter;
    s.m_strSfxComment = prm.m_strSfxComment;
    for (const auto& item : prm.m_listSources)
        s.m_listSources.push_back(item->GetPath());
    return s;
}
