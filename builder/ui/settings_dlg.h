#pragma once
// The settings dialog ("環境設定"): edits its own copy of the environment
// settings; the wizard copies it back and saves it on "保存".

#include "ui/dialog.h"
#include "builder/settings/settings_records.h"

class CSettingsDlg : public zk::CDialog {
public:
    CSettingsDlg();

    // The copy the dialog edits; every control writes into it at once.
    CVosmireEnv m_env;

    void RefreshSettingsControls();
    void ParseExclusionPatterns();
    std::wstring FormatExclusionPatterns() const;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND ctl) override;

private:
    void OnFlagClicked(int id);
    void OnFolderLeft(int editId);
    // The edit's text into its field without a question (closing with
    // "保存" while the edit still has the focus).
    void CommitFolder(int editId, std::wstring& field);
    void BrowseFolder(int editId);
    void ApplyEnabling();
    // Set while the dialog fills its own controls, so that the edits'
    // notifications do not act on half-filled values.
    bool m_bFilling = false;
};
