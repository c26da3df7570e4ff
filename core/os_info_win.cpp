#include "core/os_info.h"

#include "core/last_error.h"
#include "core/unique_handle_win.h"

#include <atomic>
#include <mutex>
#include <string>

namespace zk {

namespace {

// Written once at start-up (or on first use), read by every thread after.
std::mutex g_osLock;
std::atomic<bool> g_loaded{false};
OSVERSIONINFOEXW g_version{};
DWORD g_productType = 0;
SYSTEM_INFO g_systemInfo{};
int g_osCode = 0;

using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

} // namespace

bool LoadOsInfo()
{
    std::lock_guard<std::mutex> lock(g_osLock);
    // Set on every way out, so a failing query is not repeated on each use.
    struct MarkLoaded {
        ~MarkLoaded() { g_loaded = true; }
    } markLoaded;

    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL gotVersion = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#pragma GCC diagnostic pop
    if (!gotVersion) {
        RecordFailure();
        return false;
    }
    g_version = version;

    wchar_t systemDir[MAX_PATH] = {};
    const UINT len = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) {
        RecordFailure();
        return false;
    }
    // By full path: a kernel32.dll planted beside the program must not be used.
    ModuleHandle kernel(LoadLibraryW((std::wstring(systemDir) + L"\\kernel32.dll").c_str()));
    GetProductInfoFn getProductInfo = nullptr;
    GetNativeSystemInfoFn getNativeSystemInfo = nullptr;
    if (kernel) {
        getProductInfo = reinterpret_cast<GetProductInfoFn>(GetProcAddress(kernel.Get(), "GetProductInfo"));
        getNativeSystemInfo =
            reinterpret_cast<GetNativeSystemInfoFn>(GetProcAddress(kernel.Get(), "GetNativeSystemInfo"));
    }
    g_productType = 0;
    if (getProductInfo) {
        getProductInfo(version.dwMajorVersion, version.dwMinorVersion, version.wServicePackMajor,
                       version.wServicePackMinor, &g_productType);
    }
    if (getNativeSystemInfo) {
        getNativeSystemInfo(&g_systemInfo);
    } else {
        GetSystemInfo(&g_systemInfo);
    }

    g_osCode = OsVersionCodeFor(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                                version.wProductType, GetSystemMetrics(SM_SERVERR2) != 0);
    return true;
}

int OsVersionCode()
{
    if (!g_loaded) LoadOsInfo();
    return g_osCode;
}

const OSVERSIONINFOEXW& OsVersionRecord()
{
    if (!g_loaded) LoadOsInfo();
    return g_version;
}

DWORD OsProductType()
{
    if (!g_loaded) LoadOsInfo();
    return g_productType;
}

const SYSTEM_INFO& NativeSystemInfo()
{
    if (!g_loaded) LoadOsInfo();
    return g_systemInfo;
}

} // namespace zk
