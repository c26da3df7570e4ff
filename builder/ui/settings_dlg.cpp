#include "builder/ui/settings_dlg.h"

#include "builder/settings/exclusion_patterns.h"
#include "builder/ui/resource.h"
#include "core/long_path.h"
#include "ui/message_box.h"
#include "ui/pickers.h"

#include <vector>

namespace {

struct FlagControl {
    int id;
    uint8_t CVosmireEnv::*field;
};

// Check boxes and the flag each one sets.
const FlagControl FLAG_CONTROLS[] = {
    {IDC_VERIFY, &CVosmireEnv::m_bVerify},
    {IDC_HASH, &CVosmireEnv::m_bHash},
    {IDC_LONG_NAMES, &CVosmireEnv::m_bLongNames},
    {IDC_SHIFT_JIS, &CVosmireEnv::m_bShiftJisNames},
    {IDC_INCLUDE_HIDDEN, &CVosmireEnv::m_bIncludeHidden},
    {IDC_USE_OUTPUT, &CVosmireEnv::m_bUseOutputFolder},
    {IDC_USE_EXCLUSIONS, &CVosmireEnv::m_bUseExclusions},
    {IDC_NO_COMPLETION, &CVosmireEnv::m_bNoCompletionPage},
    {IDC_AUTO_SAVE, &CVosmireEnv::m_bAutoSave},
    {IDC_SHOW_LOG, &CVosmireEnv::m_bShowLogOnError},
    {IDC_USE_WORK, &CVosmireEnv::m_bUseWorkFolder},
};

// Warnings carry the application's name, as every box of the builder that
// is not a question does.
const wchar_t* const WARNING_CAPTION = L"ゼルコラ";

} // namespace

CSettingsDlg::CSettingsDlg() : zk::CDialog(IDD_SETTINGS) {}

BOOL CSettingsDlg::OnInitDialog()
{
    HWND kind = Item(IDC_KIND);
    SendMessageW(kind, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Lz4"));
    SendMessageW(kind, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Deflate"));
    RefreshSettingsControls();
    return TRUE;
}

void CSettingsDlg::RefreshSettingsControls()
{
    m_bFilling = true;
    SendDlgItemMessageW(Hwnd(), IDC_KIND, CB_SETCURSEL, m_env.m_nCompressKind != 0 ? 1 : 0, 0);
    SetChecked(IDC_LEVEL_STANDARD, m_env.m_nCompressLevel == 0);
    SetChecked(IDC_LEVEL_HIGH, m_env.m_nCompressLevel != 0);
    for (const FlagControl& flag : FLAG_CONTROLS)
        SetChecked(flag.id, m_env.*flag.field == 1);
    SetItemText(IDC_OUTPUT_FOLDER, m_env.m_strOutputFolder);
    SetItemText(IDC_WORK_FOLDER, m_env.m_strWorkFolder);
    SetItemText(IDC_EXCLUSIONS, FormatExclusionPatterns());
    m_bFilling = false;
    ApplyEnabling();
}

void CSettingsDlg::ApplyEnabling()
{
    EnableItem(IDC_EXCLUSIONS, m_env.m_bUseExclusions == 1);
    EnableItem(IDC_OUTPUT_FOLDER, m_env.m_bUseOutputFolder != 0);
    EnableItem(IDC_BROWSE_OUTPUT, m_env.m_bUseOutputFolder != 0);
    EnableItem(IDC_WORK_FOLDER, m_env.m_bUseWorkFolder != 0);
    EnableItem(IDC_BROWSE_WORK, m_env.m_bUseWorkFolder != 0);
}

std::wstring CSettingsDlg::FormatExclusionPatterns() const
{
    std::vector<std::wstring> patterns(m_env.m_setExclusions.begin(), m_env.m_setExclusions.end());
    return zk::FormatExclusionPatterns(patterns);
}

void CSettingsDlg::ParseExclusionPatterns()
{
    m_env.m_setExclusions.clear();
    for (std::wstring& pattern : zk::ParseExclusionPatterns(ItemText(IDC_EXCLUSIONS)))
        m_env.m_setExclusions.insert(std::move(pattern));
    m_bFilling = true;
    SetItemText(IDC_EXCLUSIONS, FormatExclusionPatterns());
    m_bFilling = false;
}

bool CSettingsDlg::OnCommand(int id, int code, HWND ctl)
{
    switch (id) {
    case IDC_KIND:
        if (code == CBN_SELCHANGE)
            m_env.m_nCompressKind = SendDlgItemMessageW(Hwnd(), IDC_KIND, CB_GETCURSEL, 0, 0) == 0 ? 0 : 1;
        return true;
    case IDC_LEVEL_STANDARD:
    case IDC_LEVEL_HIGH:
        if (code == BN_CLICKED) m_env.m_nCompressLevel = IsChecked(IDC_LEVEL_STANDARD) ? 0 : 1;
        return true;
    case IDC_OUTPUT_FOLDER:
    case IDC_WORK_FOLDER:
        if (code == EN_KILLFOCUS && !m_bFilling) OnFolderLeft(id);
        return true;
    case IDC_EXCLUSIONS:
        if (code == EN_KILLFOCUS && !m_bFilling) ParseExclusionPatterns();
        return true;
    case IDC_BROWSE_OUTPUT:
        if (code == BN_CLICKED) BrowseFolder(IDC_OUTPUT_FOLDER);
        return true;
    case IDC_BROWSE_WORK:
        if (code == BN_CLICKED) BrowseFolder(IDC_WORK_FOLDER);
        return true;
    case IDC_RESET:
        if (code == BN_CLICKED) {
            m_env.SetDefaults();
            RefreshSettingsControls();
        }
        return true;
    case IDOK:
        // Text typed into an edit counts even when "保存" is reached
        // without leaving the edit first (Enter, or a click elsewhere).
        if (!m_bFilling) {
            ParseExclusionPatterns();
            CommitFolder(IDC_OUTPUT_FOLDER, m_env.m_strOutputFolder);
            CommitFolder(IDC_WORK_FOLDER, m_env.m_strWorkFolder);
        }
        return zk::CDialog::OnCommand(id, code, ctl);
    default:
        break;
    }
    for (const FlagControl& flag : FLAG_CONTROLS) {
        if (flag.id == id && code == BN_CLICKED) {
            OnFlagClicked(id);
            return true;
        }
    }
    return zk::CDialog::OnCommand(id, code, ctl);
}

void CSettingsDlg::OnFlagClicked(int id)
{
    for (const FlagControl& flag : FLAG_CONTROLS)
        if (flag.id == id) m_env.*flag.field = IsChecked(id) ? 1 : 0;
    ApplyEnabling();
}

void CSettingsDlg::CommitFolder(int editId, std::wstring& field)
{
    std::wstring text = ItemText(editId);
    if (text == field) return;
    if (!text.empty() && zk::PathExists(text.c_str())) zk::AddTrailingSlash(text);
    field = text;
}

void CSettingsDlg::OnFolderLeft(int editId)
{
    bool output = editId == IDC_OUTPUT_FOLDER;
    std::wstring& field = output ? m_env.m_strOutputFolder : m_env.m_strWorkFolder;
    std::wstring text = ItemText(editId);
    if (!text.empty() && !zk::PathExists(text.c_str())) {
        zk::ShowMessageBox(Hwnd(),
                           output ? L"指定の出力フォルダは存在しません" : L"指定の作業フォルダは存在しません",
                           WARNING_CAPTION, MB_OK | MB_ICONWARNING);
        field = text;
        return;
    }
    zk::AddTrailingSlash(text);
    m_bFilling = true;
    if (ItemText(editId) != text) SetItemText(editId, text);
    m_bFilling = false;
    field = text;
}

void CSettingsDlg::BrowseFolder(int editId)
{
    bool output = editId == IDC_OUTPUT_FOLDER;
    std::wstring initial = ItemText(editId);
    const wchar_t* chosen = zk::BrowseForFolder(
        nullptr, output ? L"出力フォルダを選択してください" : L"作業フォルダを選択してください",
        initial.empty() ? nullptr : initial.c_str());
    if (!chosen) return;
    std::wstring folder = chosen;
    (output ? m_env.m_strOutputFolder : m_env.m_strWorkFolder) = folder;
    m_bFilling = true;
    SetItemText(editId, folder);
    m_bFilling = false;
}
