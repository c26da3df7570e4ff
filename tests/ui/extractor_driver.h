#pragma once
// Runs self-extracting archives the way their recipient does and checks what
// they wrote: the password dialog, the main window, extraction into a
// folder, and a byte-for-byte comparison of folder trees.

#include "ui_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zkui {

// Control ids of the extractor's windows.
constexpr int SFX_PASSWORD_EDIT = 1007;
constexpr int SFX_DEST = 1001;
constexpr int SFX_COMMENT = 1003;
constexpr int SFX_SUMMARY = 1005;
constexpr int SFX_PROGRESS = 1006;
constexpr int SFX_TREE = 1010;
constexpr int SFX_LIST = 1011;

// Caption of the extractor's password dialog.
extern const wchar_t* const SFX_PASSWORD_CAPTION;

// Waits for the password dialog, types the password and confirms it.
::testing::AssertionResult EnterExtractorPassword(const Program& extractor, const std::wstring& password);

// The extractor's main window once its analysis is over (the extract button
// is enabled); null when it does not come.
HWND WaitExtractorReady(const Program& extractor);

// Extracts everything into `destination` (the window's own destination when
// empty) and waits until the run is over and the folder holds exactly what
// `sources` hold (SameTree).
::testing::AssertionResult ExtractAllAndCompare(HWND window, const std::wstring& destination,
                                                const std::vector<std::wstring>& sources);

// The folder `actual` holds exactly the sources of an archive, each at its
// top level under its own name: a file with its bytes, a folder with every
// file and folder below it. Names (case included), folder structure and
// bytes must match, and nothing else may be there.
::testing::AssertionResult SameTree(const std::vector<std::wstring>& sources, const std::wstring& actual);

} // namespace zkui
