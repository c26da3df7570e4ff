#include "sfx/engine/sfx_switches.h"

#include "core/password_file.h"
#include "core/text_format.h"
#include "sfx/engine/archive_open.h"

namespace zk {

bool IsSfxSwitch(const std::wstring& argument)
{
    return argument.compare(0, 2, L"--") == 0;
}

bool ParseSfxSwitch(const std::wstring& argument, SfxSwitches& s)
{
    if (!IsSfxSwitch(argument)) return false;
    const size_t eq = argument.find(L'=');
    const std::wstring name = argument.substr(2, eq == std::wstring::npos ? std::wstring::npos : eq - 2);
    if (eq == std::wstring::npos) {
        if (name == L"yes")
            s.m_bYes = true;
        else if (name == L"quiet")
            s.m_bQuiet = true;
        else if (name == L"help")
            s.m_bHelp = true;
        else
            return false;
        return true;
    }
    const std::wstring value = argument.substr(eq + 1);
    if (name == L"dest") {
        if (value.empty()) return false;
        s.m_bDest = true;
        s.m_strDest = value;
    } else if (name == L"password") {
        if (value.empty()) return false;
        s.m_bPassword = true;
        s.m_strPassword = value;
    } else if (name == L"password-file") {
        if (!ReadPasswordFile(value.c_str(), &s.m_strPassword)) return false;
        s.m_bPassword = true;
    } else {
        return false;
    }
    return true;
}

SfxCommandLine ParseSfxArguments(const std::vector<std::wstring>& args)
{
    SfxCommandLine line;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!IsSfxSwitch(args[i])) {
            line.m_strArchivePath = args[i];
        } else if (!ParseSfxSwitch(args[i], line.m_switches) && line.m_strBadSwitch.empty()) {
            line.m_strBadSwitch = args[i];
        }
    }
    return line;
}

void ApplySfxSwitches(const SfxSwitches& switches, ArchiveState& state)
{
    if (switches.m_bDest) state.m_strDestOverride = switches.m_strDest;
    state.m_bOverwriteWithoutAsking = switches.m_bYes;
    // The opening stops asking once the attempts are used up, with the
    // wrong-password message.
    if (switches.m_bPassword || switches.m_bQuiet) state.m_nPasswordAttempt = PASSWORD_TRIES;
}

const wchar_t SFX_HELP_TEXT[] =
    L"ZelkoraSfx.exe [書庫] [スイッチ]  （自己解凍書庫は 書庫.exe [スイッチ]）\n"
    L"\n"
    L"--dest=PATH\t解凍先（書庫の既定の解凍先に代わる）\n"
    L"--yes\t既存のフォルダやファイルを確認せずに上書きする\n"
    L"--password=TEXT\tパスワード\n"
    L"--password-file=PATH\tパスワードを記したファイル（1 行目、UTF-8 または BOM 付き UTF-16）\n"
    L"--quiet\tウィンドウを一切表示しない（失敗はエラーログと終了コードへ）\n"
    L"--help\tこの一覧\n"
    L"\n"
    L"終了コード：0 すべて解凍・確認済み、1 失敗または中止、2 不正なスイッチ";

std::wstring BadSfxSwitchText(const std::wstring& argument)
{
    return FormatText(L"不正なスイッチです：%ls\n--help で一覧を表示します。", argument.c_str());
}

} // namespace zk
