#pragma once
// Reading and writing the two settings files in the program folder.
//
// Failures are silent by design (the caller shows nothing) but each
// operation still says whether it worked: 0 success, 1 failure.
//  - Loading reads the whole file before it changes the record; a file that
//    cannot be opened, is too short or is damaged leaves the record as it was.
//  - Saving writes "<name>.tmp" beside the file and then moves it over the
//    file, so that a failed save (full disk, folder without write access,
//    file held open by another program) leaves the old content in place.

#include <string>

#include "builder/settings/settings_records.h"
#include "core/serial_archive.h"

constexpr wchar_t ENV_FILE_NAME[] = L"Zelkora.env";
constexpr wchar_t PRM_FILE_NAME[] = L"Zelkora.sav";

// Settings files are a few kilobytes; anything far larger is not one of ours
// and is not read.
constexpr uint64_t MAX_SETTINGS_FILE_SIZE = 16u << 20;

// Strings stored without the UTF-16 mark are text in the system's ANSI code
// page (CP_ACP).
zk::AnsiDecoder SystemCodePageDecoder();

// `programFolder` ends with "\". A missing "Zelkora.env" sets the defaults.
int LoadEnv(const std::wstring& programFolder, CVosmireEnv& env);
int SaveEnv(const std::wstring& programFolder, const CVosmireEnv& env);
// Appends the saved sources to m_listSources (the caller empties it first).
// A missing "Zelkora.sav" changes nothing.
int LoadPrm(const std::wstring& programFolder, CVosmirePrm& prm);
int SavePrm(const std::wstring& programFolder, const CVosmirePrm& prm);
