#include "core/temp_files.h"

#include <cwchar>

#include "core/file_io.h"
#include "core/file_time.h"
#include "core/long_path.h"
#include "core/worker_thread.h"

namespace zk {

bool CreateTempFileName(const wchar_t* folder, std::wstring& out, const wchar_t* prefix)
{
    return detail::CreateTempFileNameWith(folder, out, prefix, CurrentFileTime, PauseMs);
}

bool detail::CreateTempFileNameWith(const wchar_t* folder, std::wstring& out, const wchar_t* prefix,
                                    uint64_t (*clock)(), void (*pause)(uint32_t ms))
{
    out.clear();
    if (!folder) return false;
    std::wstring base = LongPathForm(folder);
    if (base.empty()) return false;
    AddTrailingSlash(base);
    base += prefix ? prefix : TEMP_PREFIX_DEFAULT;

    for (int attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        if (attempt > 0) pause(TEMP_NAME_RETRY_MS);
        const uint64_t now = clock();
        wchar_t stamp[32];
        swprintf(stamp, 32, L"%08X%08X.TMP", static_cast<unsigned>(now >> 32), static_cast<unsigned>(now));
        const std::wstring name = base + stamp;
        // Creating only a new file both tests and reserves the name in one step.
        FileHandle h(OpenFile(name.c_str(), OPENMODE_CREATE_NEW));
        if (h) {
            out = name;
            return true;
        }
    }
    return false;
}

} // namespace zk
