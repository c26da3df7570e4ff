#pragma once
// Every text the build shows or logs, exactly as the user reads it, and the
// topics of its questions.

#include <cstdint>

namespace zk {

// Which question a build asks, for a caller that answers without a window.
enum : uint8_t {
    BUILD_TOPIC_NONE,
    BUILD_TOPIC_RAISE_SPLIT,
    BUILD_TOPIC_SOURCE_LOCKED,
    BUILD_TOPIC_FOLDER_UNREADABLE
};

inline constexpr wchar_t LOG_NAME[] = L"Zelkora.log";
inline constexpr wchar_t SFX_NAME[] = L"ZelkoraSfx.exe";
inline constexpr wchar_t WORK_PREFIX[] = L"~ZK";

inline constexpr wchar_t PHASE_PREPARE[] = L"書庫ファイルを準備中．．．";
inline constexpr wchar_t PHASE_COLLECT[] = L"ファイル情報を収集中．．．";
inline constexpr wchar_t PHASE_WRITE[] = L"書庫ファイルを作成中．．．";
inline constexpr wchar_t PHASE_FINISH[] = L"最終処理を実行中．．．";

inline constexpr wchar_t MSG_LOG_ITEM[] = L"ﾛｸﾞﾌｧｲﾙのｱｲﾃﾑIDﾘｽﾄ作成に失敗";
inline constexpr wchar_t MSG_NO_SFX[] = L"「ZelkoraSfx.exe」が同じフォルダ内に存在しません";
inline constexpr wchar_t MSG_PREPARE_FAILED[] = L"書庫ファイルの準備に失敗しました";
inline constexpr wchar_t MSG_CREATE_FAILED[] = L"書庫ファイルの作成に失敗しました";
inline constexpr wchar_t MSG_WORK_FAILED[] = L"作業用ファイルの作成に失敗しました";
inline constexpr wchar_t MSG_NOTHING[] = L"書庫に格納するファイルおよびフォルダが有りませんでした";
inline constexpr wchar_t MSG_RAISE_SPLIT[] =
    L"分割サイズが小さいためファイル情報の保存ができません。\n分割サイズを "
    L"%d MB に調整しますがよろしいですか？";
inline constexpr wchar_t MSG_LOCKED[] = L"%ls\nファイル：%ls";
inline constexpr wchar_t MSG_TOO_MANY_VOLUMES[] =
    L"分割ファイルの数が多すぎるため書庫を作成できません（書庫のデータは 256 個目の分割ファイルまでに"
    L"収まる必要があります）。\n分割サイズを %u MB 以上にしてください。";
inline constexpr wchar_t MSG_SOURCE_FAILED[] = L"%ls\nファイル：%ls";
inline constexpr wchar_t MSG_SOURCE_CHANGED[] =
    L"ファイル情報の収集後にファイルまたはフォルダが変わりました。処理を中止します。\nパス：%ls";

inline constexpr wchar_t MSG_INFO_TABLE_FULL[] = L"ﾌｧｲﾙ情報格納領域が一杯になりました。処理を中止します。";
inline constexpr wchar_t MSG_FOLDER_LIST_FAILED[] = L"%ls\nフォルダ：%ls";
inline constexpr wchar_t MSG_FOLDER_CYCLE[] =
    L"フォルダのリンクがそのリンクを含むフォルダを指しているため、処理を中止します。\nフォルダ：%ls";
inline constexpr wchar_t MSG_PATH_TOO_LONG[] =
    L"パスが長すぎるため書庫に格納できません（2047 文字まで）。処理を中止します。\nパス：%ls";

} // namespace zk
