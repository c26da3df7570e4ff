#include "builder/ui/options_page.h"

#include "builder/ui/options_rules.h"
#include "builder/ui/resource.h"
#include "builder/settings/settings_records.h"
#include "core/long_path.h"

#include <commdlg.h>

namespace {

// The password fields show this character in place of each typed one.
constexpr wchar_t PASSWORD_CHAR = L'*';

} // namespace

COptionsPage::COptionsPage(IWizardHost* wizard) : CWizardPage(IDD_PAGE_OPTIONS, wizard) {}

BOOL COptionsPage::OnInitDialog()
{
    HWND list = Item(IDC_SPLIT_LIST);
    for (const zk::SplitPreset& preset : zk::SPLIT_PRESETS) {
        LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(preset.text));
        SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(preset.nValueMB));
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    SetChecked(IDC_LIST_SHOW, true);
    SetChecked(IDC_LIST_NONE, false);
    ShowCustomSplit(false);
    SendDlgItemMessageW(Hwnd(), IDC_PASSWORD, EM_SETPASSWORDCHAR, PASSWORD_CHAR, 0);
    SendDlgItemMessageW(Hwnd(), IDC_CONFIRM, EM_SETPASSWORDCHAR, PASSWORD_CHAR, 0);
    m_nameEdit.Attach(Hwnd(), IDC_ARCHIVE_NAME);
    m_nameEdit.AcceptDrops();
    return TRUE;
}

void COptionsPage::OnSetActive()
{
    ProposeArchiveName();
    SetActiveWindow(m_pWizard->HostWindow());
    SetFocus(Item(IDC_ARCHIVE_NAME));
    ValidateOptions();
}

void COptionsPage::ProposeArchiveName()
{
    CVosmirePrm& prm = m_pWizard->Prm();
    if (!prm.m_strArchivePath.empty() || prm.m_listSources.empty()) return;
    const CSourceItem& first = *prm.m_listSources.front();
    std::wstring source = first.GetPath();
    if (source.empty()) return;
    prm.m_strArchivePath = zk::ProposeArchiveName(
        source, m_pWizard->CmdOutputFolder(), m_pWizard->Env().m_strOutputFolder,
        [](const std::wstring& name) { return zk::PathIsFolder(name.c_str()); },
        [](const std::wstring& name) { return zk::PathExists(name.c_str()); });
    m_bFilling = true;
    SetItemText(IDC_ARCHIVE_NAME, prm.m_strArchivePath);
    m_bFilling = false;
}

void COptionsPage::ValidateOptions()
{
    const CVosmirePrm& prm = m_pWizard->Prm();
    m_pWizard->SetMayAdvance(zk::OptionsMayAdvance(prm.m_strArchivePath, m_bShowPassword, prm.m_strPassword,
                                                   prm.m_strPasswordConfirm));
}

void COptionsPage::SelectSplitByValue(int valueMB)
{
    int index = zk::SplitPresetIndex(valueMB);
    SendDlgItemMessageW(Hwnd(), IDC_SPLIT_LIST, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (index == zk::SPLIT_CUSTOM_INDEX) {
        ShowCustomSplit(true);
        SetItemText(IDC_SPLIT_CUSTOM, std::to_wstring(valueMB));
    } else {
        ShowCustomSplit(false);
    }
}

void COptionsPage::FillOptionsPage()
{
    const CVosmirePrm& prm = m_pWizard->Prm();
    m_bFilling = true;
    SetItemText(IDC_ARCHIVE_NAME, prm.m_strArchivePath);
    SelectSplitByValue(prm.m_nSplitMB);
    SetItemText(IDC_SFX_DEST, prm.m_strSfxDestFolder);
    SetItemText(IDC_SFX_TITLE, prm.m_strSfxTitle);
    SetItemText(IDC_SFX_RUN, prm.m_strSfxRunAfter);
    SetItemText(IDC_SFX_COMMENT, prm.m_strSfxComment);
    SetChecked(IDC_LIST_NONE, prm.m_bSfxShowList == 0);
    SetChecked(IDC_LIST_SHOW, prm.m_bSfxShowList != 0);
    SetChecked(IDC_SFX_NO_UI, prm.m_bSfxNoUI != 0);
    m_bFilling = false;
    ApplyNoUiRule();
    ValidateOptions();
}

void COptionsPage::CommitEdits()
{
    CVosmirePrm& prm = m_pWizard->Prm();
    prm.m_strArchivePath = ItemText(IDC_ARCHIVE_NAME);
    prm.m_strSfxDestFolder = ItemText(IDC_SFX_DEST);
    prm.m_strSfxTitle = ItemText(IDC_SFX_TITLE);
    prm.m_strSfxRunAfter = ItemText(IDC_SFX_RUN);
    prm.m_strSfxComment = ItemText(IDC_SFX_COMMENT);
    if (IsWindowVisible(Item(IDC_SPLIT_CUSTOM)) && IsWindowEnabled(Item(IDC_SPLIT_CUSTOM)) &&
        !ItemText(IDC_SPLIT_CUSTOM).empty())
        OnCustomSplitLeft();
}

bool COptionsPage::OnCommand(int id, int code, HWND ctl)
{
    CVosmirePrm& prm = m_pWizard->Prm();
    switch (id) {
    case IDC_ARCHIVE_NAME:
        if (code == EN_SETFOCUS)
            SelectAllText(id);
        else if ((code == EN_KILLFOCUS || code == EN_CHANGE) && !m_bFilling)
            OnNameLeft();
        return true;
    case IDC_BROWSE_NAME:
        if (code == BN_CLICKED) BrowseArchiveName();
        return true;
    case IDC_PASSWORD:
        if (code == EN_CHANGE && !m_bFilling) {
            prm.m_strPassword = ItemText(IDC_PASSWORD);
            ValidateOptions();
        }
        return true;
    case IDC_CONFIRM:
        if (code == EN_CHANGE && !m_bFilling) {
            if (!m_bShowPassword) prm.m_strPasswordConfirm = ItemText(IDC_CONFIRM);
            ValidateOptions();
        }
        return true;
    case IDC_SHOW_PASSWORD:
        if (code == BN_CLICKED) OnShowPassword();
        return true;
    case IDC_SPLIT_LIST:
        if (code == CBN_SELCHANGE) OnSplitChosen();
        return true;
    case IDC_SPLIT_CUSTOM:
        if (code == EN_SETFOCUS)
            SelectAllText(id);
        else if (code == EN_KILLFOCUS)
            OnCustomSplitLeft();
        return true;
    case IDC_SFX_DEST:
    case IDC_SFX_TITLE:
    case IDC_SFX_RUN:
    case IDC_SFX_COMMENT:
        if ((code == EN_KILLFOCUS || code == EN_CHANGE) && !m_bFilling) {
            std::wstring text = ItemText(id);
            if (id == IDC_SFX_DEST)
                prm.m_strSfxDestFolder = text;
            else if (id == IDC_SFX_TITLE)
                prm.m_strSfxTitle = text;
            else if (id == IDC_SFX_RUN)
                prm.m_strSfxRunAfter = text;
            else
                prm.m_strSfxComment = text;
        }
        return true;
    case IDC_LIST_NONE:
    case IDC_LIST_SHOW:
        if (code == BN_CLICKED) prm.m_bSfxShowList = IsChecked(IDC_LIST_NONE) ? 0 : 1;
        return true;
    case IDC_SFX_NO_UI:
        if (code == BN_CLICKED) {
            prm.m_bSfxNoUI = IsChecked(IDC_SFX_NO_UI) ? 1 : 0;
            ApplyNoUiRule();
        }
        return true;
    default:
        return CWizardPage::OnCommand(id, code, ctl);
    }
}

bool COptionsPage::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    if (msg == zk::CArchiveNameEdit::WM_NAMEDROPPED) {
        OnNameLeft();
        result = 0;
        return true;
    }
    return false;
}

void COptionsPage::OnNameLeft()
{
    std::wstring text = ItemText(IDC_ARCHIVE_NAME);
    CVosmirePrm& prm = m_pWizard->Prm();
    if (text != prm.m_strArchivePath) {
        prm.m_strArchivePath = text;
        ValidateOptions();
    }
}

void COptionsPage::OnShowPassword()
{
    CVosmirePrm& prm = m_pWizard->Prm();
    HWND password = Item(IDC_PASSWORD);
    m_bShowPassword = IsChecked(IDC_SHOW_PASSWORD);
    if (m_bShowPassword) {
        SendMessageW(password, EM_SETPASSWORDCHAR, 0, 0);
        EnableItem(IDC_CONFIRM_LABEL, false);
        EnableItem(IDC_CONFIRM, false);
        prm.m_strPasswordConfirm = ItemText(IDC_CONFIRM);
        m_bFilling = true;
        SetItemText(IDC_CONFIRM, L"");
        m_bFilling = false;
    } else {
        SendMessageW(password, EM_SETPASSWORDCHAR, PASSWORD_CHAR, 0);
        EnableItem(IDC_CONFIRM_LABEL, true);
        EnableItem(IDC_CONFIRM, true);
        m_bFilling = true;
        SetItemText(IDC_CONFIRM, prm.m_strPasswordConfirm);
        m_bFilling = false;
    }
    InvalidateRect(password, nullptr, TRUE);
    UpdateWindow(password);
    ValidateOptions();
}

void COptionsPage::ShowCustomSplit(bool show)
{
    EnableItem(IDC_SPLIT_CUSTOM, show);
    ShowItem(IDC_SPLIT_CUSTOM, show);
    ShowItem(IDC_SPLIT_UNIT, show);
}

void COptionsPage::OnSplitChosen()
{
    LRESULT index = SendDlgItemMessageW(Hwnd(), IDC_SPLIT_LIST, CB_GETCURSEL, 0, 0);
    if (index < 0) return;
    if (index != zk::SPLIT_CUSTOM_INDEX) {
        ShowCustomSplit(false);
        m_pWizard->Prm().m_nSplitMB = zk::SPLIT_PRESETS[index].nValueMB;
        return;
    }
    SetItemText(IDC_SPLIT_CUSTOM, L"");
    ShowCustomSplit(true);
}

void COptionsPage::OnCustomSplitLeft()
{
    std::wstring text = ItemText(IDC_SPLIT_CUSTOM);
    int value = zk::ParseCustomSplitSize(text);
    std::wstring shown = value > 0 ? std::to_wstring(value) : std::wstring();
    if (shown != text) SetItemText(IDC_SPLIT_CUSTOM, shown);
    m_pWizard->Prm().m_nSplitMB = value;
}

// "操作画面を表示しない" turns off everything the self-extractor would show.
void COptionsPage::ApplyNoUiRule()
{
    bool enable = !IsChecked(IDC_SFX_NO_UI);
    for (int id = IDC_SFX_GROUP; id <= IDC_SFX_COMMENT; ++id) {
        if (id == IDC_RUN_LABEL || id == IDC_SFX_RUN) continue; // never offered
        EnableItem(id, enable);
    }
}

void COptionsPage::BrowseArchiveName()
{
    CVosmirePrm& prm = m_pWizard->Prm();
    std::wstring initialFolder =
        prm.m_strArchivePath.empty() ? std::wstring() : zk::ParentFolder(prm.m_strArchivePath);
    wchar_t buffer[2048] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = Hwnd();
    ofn.lpstrFilter = L"実行形式ファイル (*.exe)\0*.exe\0全てのファイル (*.*)\0*.*\0";
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = 2048;
    ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    ofn.lpstrTitle = L"実行形式ファイルを選択してください";
    ofn.lpstrDefExt = L"exe";
    // A new archive usually has a new name, so the chooser accepts names of
    // files that do not exist yet; the wizard asks before overwriting one
    // that does.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&ofn)) return;
    prm.m_strArchivePath = buffer;
    m_bFilling = true;
    SetItemText(IDC_ARCHIVE_NAME, prm.m_strArchivePath);
    m_bFilling = false;
    ValidateOptions();
}

void COptionsPage::SelectAllText(int id)
{
    SendDlgItemMessageW(Hwnd(), id, EM_SETSEL, 0, -1);
    SendDlgItemMessageW(Hwnd(), id, EM_SCROLLCARET, 0, 0);
}
