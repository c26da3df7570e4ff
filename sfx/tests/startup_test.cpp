// The extractor's start-up when its hidden window cannot be made.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "sfx/ui/startup.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

ATOM WINAPI RegisterFails(const WNDCLASSEXW*)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

HWND WINAPI CreateFails(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID)
{
    SetLastError(ERROR_NO_MORE_USER_HANDLES);
    return nullptr;
}

// Without the window nothing posts the quit the message loop waits for: the
// program has to end with the system's reason instead of waiting, unseen,
// for ever.
TEST(ExtractorStartup, WindowThatCannotBeMadeEndsWithItsReason)
{
    struct Case {
        const char* what;
        HiddenWindowCalls calls;
        DWORD error;
    } cases[] = {
        {"class not registered", {&RegisterFails, &CreateWindowExW}, ERROR_NOT_ENOUGH_MEMORY},
        {"window not created", {&RegisterClassExW, &CreateFails}, ERROR_NO_MORE_USER_HANDLES},
    };
    static int s_nRun = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedBoxes boxes;
        HiddenWindowCalls previous = SetHiddenWindowCalls(c.calls);
        std::atomic<bool> ended{false};
        std::atomic<DWORD> threadId{0};
        int code = -1;
        const std::wstring className = L"ZkStartupTest" + std::to_wstring(++s_nRun);
        std::thread run([&] {
            threadId = GetCurrentThreadId();
            code = RunHiddenWindow(GetModuleHandleW(nullptr), className.c_str(), L"ZelkoraSfx", nullptr);
            ended = true;
        });
        for (int i = 0; i < 500 && !ended; ++i)
            Sleep(10);
        const bool endedAlone = ended;
        // A loop left waiting is ended here, so that the test can report it.
        if (!endedAlone) PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        run.join();
        SetHiddenWindowCalls(previous);
        UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));

        EXPECT_TRUE(endedAlone) << "still waiting for a window that does not exist";
        EXPECT_EQ(code, 0);
        ASSERT_EQ(boxes.Texts().size(), 1u);
        EXPECT_EQ(boxes.Texts()[0].rfind(L"[Error:" + std::to_wstring(c.error) + L"] ", 0), 0u);
        EXPECT_EQ(boxes.Captions()[0], L"Error Message");
    }
}

} // namespace
} // namespace zk::test
