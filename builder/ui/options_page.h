#pragma once
// The archive options page: archive name, password, split size and what the
// self-extractor shows. Every control writes straight into the archive
// parameters of the wizard.

#include "builder/ui/controls.h"
#include "builder/ui/wizard_page.h"

class COptionsPage : public CWizardPage {
public:
    explicit COptionsPage(IWizardHost* wizard);

    void ProposeArchiveName();
    void ValidateOptions();
    void SelectSplitByValue(int valueMB);
    void FillOptionsPage();
    // Takes what is typed in the fields that store on leaving them, so that
    // the parameters are complete when the build starts.
    void CommitEdits();

    void OnSetActive() override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND ctl) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnNameLeft();
    void OnShowPassword();
    void OnSplitChosen();
    void OnCustomSplitLeft();
    void ShowCustomSplit(bool show);
    void ApplyNoUiRule();
    void BrowseArchiveName();
    void SelectAllText(int id);

    zk::CArchiveNameEdit m_nameEdit{true, false};
    bool m_bShowPassword = false;
    // Set while the page itself writes into a field, so that the field's
    // change notification does not store it back.
    bool m_bFilling = false;
};
