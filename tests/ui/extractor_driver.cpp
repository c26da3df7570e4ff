#include "extractor_driver.h"

#include <map>
#include <optional>

namespace zkui {

const wchar_t* const SFX_PASSWORD_CAPTION = L" ゼルコラ　パスワード入力";

namespace {

// Relative path -> contents; a folder has no contents.
using TreeListing = std::map<std::wstring, std::optional<std::string>>;

void ListFolder(const std::wstring& root, const std::wstring& relative, TreeListing& out)
{
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW((root + relative + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = relative + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[path + L"\\"] = std::nullopt;
            ListFolder(root, path + L"\\", out);
        } else {
            out[path] = ReadWholeFile(root + path);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

TreeListing ListTreeBelow(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    TreeListing listing;
    ListFolder(folder, L"", listing);
    return listing;
}

// What extracting an archive of these sources gives.
TreeListing ListSources(const std::vector<std::wstring>& sources)
{
    TreeListing listing;
    for (std::wstring source : sources) {
        while (!source.empty() && source.back() == L'\\')
            source.pop_back();
        size_t slash = source.find_last_of(L'\\');
        std::wstring parent = source.substr(0, slash + 1);
        std::wstring name = source.substr(slash + 1);
        DWORD attributes = GetFileAttributesW(source.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            listing[name + L"\\"] = std::nullopt;
            ListFolder(parent, name + L"\\", listing);
        } else {
            listing[name] = ReadWholeFile(source);
        }
    }
    return listing;
}

std::string Narrow(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

} // namespace

::testing::AssertionResult SameTree(const std::vector<std::wstring>& sources, const std::wstring& actual)
{
    TreeListing want = ListSources(sources);
    TreeListing got = ListTreeBelow(actual);
    if (want.empty()) return ::testing::AssertionFailure() << "no source to compare with";
    auto failure = ::testing::AssertionFailure();
    bool same = true;
    for (const auto& [path, bytes] : want) {
        auto it = got.find(path);
        if (it == got.end()) {
            failure << "missing " << Narrow(path) << "; ";
            same = false;
        } else if (it->second != bytes) {
            failure << "differs " << Narrow(path) << " (" << (it->second ? it->second->size() : 0)
                    << " bytes, " << (bytes ? bytes->size() : 0) << " expected); ";
            same = false;
        }
    }
    for (const auto& [path, bytes] : got) {
        if (!want.count(path)) {
            failure << "extra " << Narrow(path) << "; ";
            same = false;
        }
    }
    if (same) return ::testing::AssertionSuccess();
    return failure;
}

::testing::AssertionResult EnterExtractorPassword(const Program& extractor, const std::wstring& password)
{
    HWND ask = extractor.WaitBox(SFX_PASSWORD_CAPTION);
    if (!ask) return ::testing::AssertionFailure() << "no password dialog";
    SetText(GetDlgItem(ask, SFX_PASSWORD_EDIT), password);
    Click(GetDlgItem(ask, IDOK));
    if (!WaitFor([&] { return !IsWindow(ask) || !IsWindowVisible(ask); }))
        return ::testing::AssertionFailure() << "the password dialog stays";
    return ::testing::AssertionSuccess();
}

HWND WaitExtractorReady(const Program& extractor)
{
    HWND window = nullptr;
    WaitFor([&] {
        window = extractor.FindWindowOf(L"#32770", L"");
        return window && GetDlgItem(window, SFX_PROGRESS) && Enabled(GetDlgItem(window, IDOK));
    });
    return window && GetDlgItem(window, SFX_PROGRESS) && Enabled(GetDlgItem(window, IDOK)) ? window : nullptr;
}

::testing::AssertionResult ExtractAllAndCompare(HWND window, const std::wstring& destination,
                                                const std::vector<std::wstring>& sources)
{
    std::wstring folder = destination;
    if (folder.empty())
        folder = Text(GetDlgItem(window, SFX_DEST));
    else
        SetText(GetDlgItem(window, SFX_DEST), destination);
    Click(GetDlgItem(window, IDOK));
    // The close button is disabled from the start of the run to its end, and
    // the tree is complete only after the start: together they mean done.
    HWND close = GetDlgItem(window, IDCANCEL);
    ::testing::AssertionResult last = ::testing::AssertionFailure();
    bool done = WaitFor(
        [&] {
            if (!Enabled(close) || Text(GetDlgItem(window, IDOK)) != L"解凍(&S)") return false;
            last = SameTree(sources, folder);
            return static_cast<bool>(last);
        },
        60000);
    if (done) return ::testing::AssertionSuccess();
    return last << " (into " << Narrow(folder) << ")";
}

} // namespace zkui
