#pragma once
// The builder's switches: command-line fields that begin with "--". Each
// overrides a saved setting for this run only; the settings files are not
// changed. Fields with one "-" keep their old meaning ("-I", "-O", "-M", or
// ignored), so no earlier command line changes meaning.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CVosmireEnv;
class CVosmirePrm;

// What the switches of one run ask for; an empty field leaves the setting.
struct BuilderOverrides {
    std::optional<std::wstring> m_strOutput; // the archive, ".exe" or ".zka"
    std::optional<uint8_t> m_nCompressKind;  // 0 LZ4, 1 Deflate
    std::optional<uint8_t> m_nCompressLevel; // 0 standard, 1 high
    std::optional<std::wstring> m_strPassword;
    std::optional<int32_t> m_nSplitMB; // 0 one file
    std::optional<uint8_t> m_bHash;
    std::optional<uint8_t> m_bVerify;
    std::optional<uint8_t> m_bIncludeHidden;
    std::optional<std::wstring> m_strTitle;
    std::optional<std::wstring> m_strComment;
    std::optional<std::wstring> m_strDest;
    std::optional<uint8_t> m_bShowList;
    std::optional<uint8_t> m_bNoUI;
    bool m_bQuiet = false; // no window at all
    bool m_bHelp = false;

    // Whether any switch asks for something to be built differently.
    bool Any() const;
};

// Reads one "--" field into overrides; a password file is read here, so a
// file that gives no password is a bad switch too. False for a switch that
// is unknown, lacks its value or has one it cannot take.
bool ParseBuilderSwitch(const std::wstring& field, BuilderOverrides& overrides);

// Reads every field (so that "--quiet" counts wherever it stands); the first
// bad one is kept in *bad. True when all were good.
bool ParseBuilderSwitches(const std::vector<std::wstring>& fields, BuilderOverrides& overrides,
                          std::wstring* bad);

// The environment overrides (method, level, hash, verify, hidden files).
void ApplyEnvOverrides(const BuilderOverrides& overrides, CVosmireEnv& env);
// The archive overrides (output, password, split, the extractor's texts
// and options); the password is also its confirmation.
void ApplyArchiveOverrides(const BuilderOverrides& overrides, CVosmirePrm& prm);

// The text "--help" shows.
extern const wchar_t BUILDER_HELP_TEXT[];
// "Unknown switch" message naming the field.
std::wstring BadBuilderSwitchText(const std::wstring& field);
