#pragma once
// A page of the wizard: a child dialog placed in the wizard's client area.
// The pages share the settings records owned by the wizard window.

#include "ui/dialog.h"

class CWizardDlg;

class CWizardPage : public zk::CDialog {
public:
    CWizardPage(UINT templateId, CWizardDlg* wizard) : zk::CDialog(templateId), m_pWizard(wizard) {}

    // The page becomes visible / is hidden again.
    virtual void OnSetActive() {}
    virtual void OnKillActive() {}

protected:
    // Enter and Escape belong to the wizard, never to a page.
    void OnOK() override {}
    void OnCancel() override {}

    CWizardDlg* m_pWizard;
};
