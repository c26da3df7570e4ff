#include "builder/ui/wizard_flow.h"

#include <windows.h>

#include "core/file_io.h"

namespace zk {

const PageTexts PAGE_TEXTS[PAGE_COUNT] = {
    {L"ようこそ", L"", L"続行するには、[次へ]をクリックしてください。"},
    {L"保管ファイルの選択",
     L"保管するファイルまたはフォルダを選択します。\nファイルまたはフォルダをＤ＆Ｄまたはコピー＆ペーストで追"
     L"加してください。",
     L"続行するには、ファイルまたはフォルダを追加してから[次へ]をクリックしてください。"},
    {L"保管ファイルの設定", L"保管するファイルの環境を設定します。",
     L"書庫ファイルの作成を開始します。[開始]をクリックしてください。"},
    {L"書庫ファイルの作成", L"書庫ファイルを作成中です。\n処理が完了するまでしばらくお待ちください。",
     L"書庫ファイルの作成を中止するには、[中止]をクリックしてください。"},
    {L"書庫ファイルの作成完了", L"", L"閉じるには、[完了]をクリックしてください。"},
};

WizardButtons ButtonsForPage(int page, bool mayAdvance)
{
    WizardButtons b;
    switch (page) {
    case PAGE_WELCOME:
        b.reloadSave.bShown = false;
        b.back.bEnabled = false;
        b.next.strText = L"次へ >";
        break;
    case PAGE_FILES:
        b.reloadSave.strText = L"再読込";
        b.next.strText = L"次へ >";
        b.next.bEnabled = mayAdvance;
        break;
    case PAGE_OPTIONS:
        b.reloadSave.strText = L"保存";
        b.next.strText = L"開始 >";
        b.next.bEnabled = mayAdvance;
        break;
    case PAGE_PROGRESS:
        b.settings.bShown = false;
        b.reloadSave.bShown = false;
        b.back.bShown = false;
        b.next.strText = L"中止";
        b.close.bEnabled = false;
        break;
    case PAGE_COMPLETION:
        b.settings.bShown = false;
        b.reloadSave.strText = L"保存";
        b.back.bShown = false;
        b.next.strText = L"完了";
        b.close.bEnabled = false;
        break;
    default:
        break;
    }
    // A hidden button is also disabled, so that no keyboard route reaches it
    // while, for example, a build is running.
    for (ButtonState* button : {&b.settings, &b.reloadSave, &b.back, &b.next, &b.close})
        if (!button->bShown) button->bEnabled = false;
    return b;
}

bool ListsStartupPath(const std::wstring& path, bool includeHidden)
{
    FileListing entry;
    if (!FindFileData(path.c_str(), &entry)) return false;
    return includeHidden || !(entry.m_nAttributes & ATTR_HIDDEN);
}

} // namespace zk
