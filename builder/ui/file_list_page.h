#pragma once
// The file selection page: the list of chosen files and folders, kept in
// step with the source list of the archive parameters.

#include "ui/subclassed_window.h"
#include "builder/ui/wizard_page.h"

#include <shellapi.h>

#include <string>

class CSourceItem;
class CFileListPage;

// The report list of the page. Keys, the right button and dropped files go
// to the page.
class CSourceListCtrl : public zk::CSubclassedWindow {
public:
    explicit CSourceListCtrl(CFileListPage* page) : m_pPage(page) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool OnKeyDown(WPARAM key);
    CFileListPage* m_pPage;
};

class CFileListPage : public CWizardPage {
public:
    explicit CFileListPage(IWizardHost* wizard);
    ~CFileListPage() override;

    void AddSource(const std::wstring& path, bool checkDuplicates);
    void ChooseSources();
    void DropSources(HDROP drop);
    void PasteSources();
    void RemoveSelectedSources();
    void RemoveAllSources();
    void ReAddAllSources();
    void RefreshFileListPage();
    void SelectAll();
    void ShowContextMenu(POINT screenPoint);

    void OnSetActive() override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND ctl) override;
    LRESULT OnNotify(int id, NMHDR* header) override;
    void OnDestroy() override;

private:
    void AppendRow(CSourceItem* item);
    void FillDisplayInfo(NMLVDISPINFOW* info);
    bool IsDuplicate(const CSourceItem& item) const;
    HWND List() const;

    CSourceListCtrl m_list{this};
    // Scratch for the texts handed to the list: it keeps the pointer until
    // the next notification.
    std::wstring m_strDisplay;
};

// Whether the shell's and the file system's attributes of a parsed item
// make it one the page refuses: a virtual item, a system file, a hidden
// item while hidden files are excluded, or (Windows XP and Server 2003) a
// folder that the shell presents as a virtual one.
bool IsRefusedSourceItem(ULONG shellAttributes, DWORD fileAttributes, bool includeHidden, int osVersionCode);
