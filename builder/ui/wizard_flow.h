#pragma once
// The wizard's page texts and the state of its five buttons on each page.

#include <string>

namespace zk {

enum WizardPage { PAGE_WELCOME, PAGE_FILES, PAGE_OPTIONS, PAGE_PROGRESS, PAGE_COMPLETION, PAGE_COUNT };

struct PageTexts {
    const wchar_t* title;
    const wchar_t* description;
    const wchar_t* guide;
};
extern const PageTexts PAGE_TEXTS[PAGE_COUNT];

struct ButtonState {
    bool bShown = true;
    bool bEnabled = true;
    // Empty: the caption stays as it is.
    std::wstring strText;
};

struct WizardButtons {
    ButtonState settings;   // "環境設定"
    ButtonState reloadSave; // "再読込" / "保存"
    ButtonState back;       // "< 戻る"
    ButtonState next;       // "次へ >" / "開始 >" / "中止" / "完了"
    ButtonState close;      // "閉じる"
};

WizardButtons ButtonsForPage(int page, bool mayAdvance);

// Whether the wizard lists a path it was started with: its directory entry
// can be read (a drive root cannot), and it is not hidden unless hidden
// files are included.
bool ListsStartupPath(const std::wstring& path, bool includeHidden);

} // namespace zk
