#include "core/shortcut.h"

#include "core/long_path.h"
#include "scratch_folder.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

namespace zk {
namespace {

// Writes a shortcut with the shell's own link object.
void MakeShortcut(const std::wstring& link, const std::wstring& target, const wchar_t* args,
                  const wchar_t* dir, int show)
{
    IShellLinkW* sl = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&sl))));
    sl->SetPath(target.c_str());
    sl->SetArguments(args);
    sl->SetWorkingDirectory(dir);
    sl->SetShowCmd(show);
    IPersistFile* pf = nullptr;
    ASSERT_TRUE(SUCCEEDED(sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf))));
    EXPECT_TRUE(SUCCEEDED(pf->Save(link.c_str(), TRUE)));
    pf->Release();
    sl->Release();
}

TEST(ResolveShortcut, TargetArgumentsFolderAndShowCommand)
{
    test::ScratchFolder dir;
    const std::wstring target = dir.Write(L"target.txt");
    const std::wstring link = dir.File(L"target.lnk");
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    MakeShortcut(link, target, L"-x \"a b\"", dir.Path().c_str(), SW_SHOWMAXIMIZED);
    // Not every shell keeps every show command in the file: compare with what
    // the shell's own link object reads back.
    int storedShow = -1;
    {
        IShellLinkW* sl = nullptr;
        IPersistFile* pf = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IShellLinkW, reinterpret_cast<void**>(&sl))));
        sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf));
        pf->Load(link.c_str(), STGM_READ);
        sl->GetShowCmd(&storedShow);
        pf->Release();
        sl->Release();
    }
    CoUninitialize();

    wchar_t path[MAX_PATH] = {}, args[64] = {}, work[MAX_PATH] = {};
    int show = 0;
    ASSERT_EQ(ResolveShortcut(link.c_str(), path, MAX_PATH, args, 64, work, MAX_PATH, &show), 1);
    EXPECT_EQ(std::wstring(path), target);
    EXPECT_STREQ(args, L"-x \"a b\"");
    std::wstring workDir = work;
    AddTrailingSlash(workDir);
    EXPECT_EQ(workDir, dir.Path());
    EXPECT_EQ(show, storedShow);

    wchar_t only[MAX_PATH] = {};
    EXPECT_EQ(ResolveShortcut(link.c_str(), only, MAX_PATH), 1) << "optional parts may be left out";
    EXPECT_EQ(std::wstring(only), target);

    wchar_t none[MAX_PATH] = L"stale";
    EXPECT_EQ(ResolveShortcut(dir.File(L"missing.lnk").c_str(), none, MAX_PATH), 0);
    EXPECT_STREQ(none, L"");
}

} // namespace
} // namespace zk
