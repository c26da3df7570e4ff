#include "core/temp_files.h"

#include <cstdlib>

#include "core/long_path.h"
#include "core/native_text_posix.h"

namespace zk {

// TMPDIR when it names a folder, otherwise "/tmp", in the engines' path form.
bool GetTempFolder(std::wstring& out)
{
    const char* env = std::getenv("TMPDIR");
    std::wstring folder = env && *env ? WideFromUtf8(env) : L"";
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    if (folder.empty() || !PathIsFolder(folder.c_str())) folder = L"\\tmp";
    AddTrailingSlash(folder);
    out = folder;
    return true;
}

} // namespace zk
