#pragma once
// A page of the wizard: a child dialog placed in the wizard's client area.
// The pages share the settings records owned by the wizard window and reach
// it only through IWizardHost.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "builder/settings/settings_records.h"
#include "builder/ui/progress_texts.h"
#include "ui/dialog.h"

namespace zk {
class BuildProgress;
}

// What the pages need from the wizard that holds them.
class IWizardHost {
public:
    virtual ::CVosmireEnv& Env() = 0;
    virtual ::CVosmirePrm& Prm() = 0;
    virtual HWND HostWindow() const = 0;
    // Whether "次へ >" / "開始 >" may be pressed; the buttons follow at once.
    virtual void SetMayAdvance(bool may) = 0;
    // The settings of the build as the summary and the report show them.
    virtual zk::SettingsValues CurrentSettingsValues() const = 0;
    virtual std::wstring LegalNotice() const = 0;
    virtual HIMAGELIST SystemImageList() const = 0;
    // The theme library, or null when not loaded.
    virtual HMODULE UxTheme() const = 0;
    // The output folder given on the command line ("" when none).
    virtual const std::wstring& CmdOutputFolder() const = 0;
    // The running or last build's progress.
    virtual const zk::BuildProgress& Progress() const = 0;

protected:
    ~IWizardHost() = default;
};

class CWizardPage : public zk::CDialog {
public:
    CWizardPage(UINT templateId, IWizardHost* wizard) : zk::CDialog(templateId), m_pWizard(wizard) {}

    // The page becomes visible / is hidden again.
    virtual void OnSetActive() {}
    virtual void OnKillActive() {}

protected:
    // Enter and Escape belong to the wizard, never to a page.
    void OnOK() override {}
    void OnCancel() override {}

    IWizardHost* m_pWizard;
};
