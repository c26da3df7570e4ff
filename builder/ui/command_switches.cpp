#include "builder/ui/command_switches.h"

#include <cwctype>

#include "builder/ui/options_rules.h"
#include "builder/settings/settings_records.h"
#include "core/password_file.h"
#include "core/text_format.h"

namespace {

bool EndsWithNoCase(const std::wstring& text, const wchar_t* suffix)
{
    const std::wstring tail(suffix);
    if (text.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (std::towlower(text[text.size() - tail.size() + i]) != tail[i]) return false;
    }
    return true;
}

// "on" or "off".
bool OnOff(const std::wstring& value, std::optional<uint8_t>& out)
{
    if (value == L"on") {
        out = 1;
    } else if (value == L"off") {
        out = 0;
    } else {
        return false;
    }
    return true;
}

// Decimal digits only, 0 to MAX_SPLIT_SIZE_MB.
bool SplitSize(const std::wstring& value, std::optional<int32_t>& out)
{
    if (value.empty() || value.size() > 5) return false;
    int32_t mb = 0;
    for (wchar_t c : value) {
        if (c < L'0' || c > L'9') return false;
        mb = mb * 10 + (c - L'0');
    }
    if (mb > zk::MAX_SPLIT_SIZE_MB) return false;
    out = mb;
    return true;
}

} // namespace

bool BuilderOverrides::Any() const
{
    return m_strOutput || m_nCompressKind || m_nCompressLevel || m_strPassword || m_nSplitMB || m_bHash ||
           m_bVerify || m_bIncludeHidden || m_strTitle || m_strComment || m_strDest || m_bShowList || m_bNoUI;
}

bool ParseBuilderSwitch(const std::wstring& field, BuilderOverrides& o)
{
    if (field.compare(0, 2, L"--") != 0) return false;
    const size_t eq = field.find(L'=');
    const std::wstring name = field.substr(2, eq == std::wstring::npos ? std::wstring::npos : eq - 2);
    if (eq == std::wstring::npos) {
        if (name == L"quiet") {
            o.m_bQuiet = true;
        } else if (name == L"help") {
            o.m_bHelp = true;
        } else {
            return false;
        }
        return true;
    }
    const std::wstring value = field.substr(eq + 1);
    if (name == L"output") {
        if (!EndsWithNoCase(value, L".exe") && !EndsWithNoCase(value, L".zka")) return false;
        o.m_strOutput = value;
    } else if (name == L"method") {
        if (value != L"lz4" && value != L"deflate") return false;
        o.m_nCompressKind = value == L"lz4" ? 0 : 1;
    } else if (name == L"level") {
        if (value != L"standard" && value != L"high") return false;
        o.m_nCompressLevel = value == L"standard" ? 0 : 1;
    } else if (name == L"password") {
        if (value.empty()) return false;
        o.m_strPassword = value;
    } else if (name == L"password-file") {
        std::wstring password;
        if (!zk::ReadPasswordFile(value.c_str(), &password)) return false;
        o.m_strPassword = password;
    } else if (name == L"split") {
        return SplitSize(value, o.m_nSplitMB);
    } else if (name == L"hash") {
        return OnOff(value, o.m_bHash);
    } else if (name == L"verify") {
        return OnOff(value, o.m_bVerify);
    } else if (name == L"hidden") {
        return OnOff(value, o.m_bIncludeHidden);
    } else if (name == L"title") {
        o.m_strTitle = value;
    } else if (name == L"comment") {
        o.m_strComment = value;
    } else if (name == L"dest") {
        o.m_strDest = value;
    } else if (name == L"show-list") {
        return OnOff(value, o.m_bShowList);
    } else if (name == L"no-ui") {
        return OnOff(value, o.m_bNoUI);
    } else {
        return false;
    }
    return true;
}

bool ParseBuilderSwitches(const std::vector<std::wstring>& fields, BuilderOverrides& overrides,
                          std::wstring* bad)
{
    bool ok = true;
    for (const std::wstring& field : fields) {
        if (!ParseBuilderSwitch(field, overrides) && ok) {
            *bad = field;
            ok = false;
        }
    }
    return ok;
}

void ApplyEnvOverrides(const BuilderOverrides& o, CVosmireEnv& env)
{
    if (o.m_nCompressKind) env.m_nCompressKind = *o.m_nCompressKind;
    if (o.m_nCompressLevel) env.m_nCompressLevel = *o.m_nCompressLevel;
    if (o.m_bHash) env.m_bHash = *o.m_bHash;
    if (o.m_bVerify) env.m_bVerify = *o.m_bVerify;
    if (o.m_bIncludeHidden) env.m_bIncludeHidden = *o.m_bIncludeHidden;
}

void ApplyArchiveOverrides(const BuilderOverrides& o, CVosmirePrm& prm)
{
    if (o.m_strOutput) prm.m_strArchivePath = *o.m_strOutput;
    if (o.m_strPassword) prm.m_strPassword = prm.m_strPasswordConfirm = *o.m_strPassword;
    if (o.m_nSplitMB) prm.m_nSplitMB = *o.m_nSplitMB;
    if (o.m_strTitle) prm.m_strSfxTitle = *o.m_strTitle;
    if (o.m_strComment) prm.m_strSfxComment = *o.m_strComment;
    if (o.m_strDest) prm.m_strSfxDestFolder = *o.m_strDest;
    if (o.m_bShowList) prm.m_bSfxShowList = *o.m_bShowList;
    if (o.m_bNoUI) prm.m_bSfxNoUI = *o.m_bNoUI;
}

const wchar_t BUILDER_HELP_TEXT[] =
    L"Zelkora.exe [スイッチ] [-I 基準フォルダ] [-O 出力フォルダ] パス...\n"
    L"\n"
    L"--output=PATH\t書庫（.exe または .zka）\n"
    L"--method=lz4|deflate\t圧縮方式\n"
    L"--level=standard|high\t標準／高圧縮\n"
    L"--password=TEXT\tパスワード\n"
    L"--password-file=PATH\tパスワードを記したファイル（1 行目、UTF-8 または BOM 付き UTF-16）\n"
    L"--split=MB\t分割サイズ（0 は分割しない）\n"
    L"--hash=on|off\tハッシュ値を記録する\n"
    L"--verify=on|off\t書き込み後に照合する\n"
    L"--hidden=on|off\t隠しファイルを含める\n"
    L"--title=TEXT\t解凍時のタイトル\n"
    L"--comment=TEXT\t解凍時のコメント\n"
    L"--dest=PATH\t既定の解凍先\n"
    L"--show-list=on|off\t解凍時に内容一覧を表示する\n"
    L"--no-ui=on|off\t解凍時に操作画面を表示しない\n"
    L"--quiet\tウィンドウを一切表示しない（失敗はエラーログと終了コードへ）\n"
    L"--help\tこの一覧\n"
    L"\n"
    L"空白を含む値は \"--title=配布 用\" のように引用符で囲みます。設定ファイルは変更されません。\n"
    L"終了コード：0 作成完了、1 失敗または中止、2 不正なスイッチ";

std::wstring BadBuilderSwitchText(const std::wstring& field)
{
    return zk::FormatText(L"不正なスイッチです：%ls\n--help で一覧を表示します。", field.c_str());
}
