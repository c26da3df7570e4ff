#include "builder/settings/startup.h"

#include <algorithm>
#include <climits>
#include <cwchar>

#include "core/last_error.h"
#include "core/long_path.h"
#include "core/quoted_field_splitter.h"
#include "core/text_format.h"
#include "core/unique_handle_win.h"

namespace {

// Splits `length` characters at `text` in place; false on an unterminated
// quoted field.
bool SplitInPlace(wchar_t* text, size_t length, std::vector<std::wstring>& fields)
{
    fields.clear();
    zk::QuotedFieldSplitter<wchar_t> splitter;
    int count = splitter.Split(text, static_cast<ptrdiff_t>(length), L' ', L'"');
    if (count < 0) return false;
    for (int i = 0; i < count; ++i)
        fields.emplace_back(splitter.Field(i), splitter.FieldLength(i));
    return true;
}

// Decimal digits from p on, saturating instead of wrapping, so that a huge
// number cannot turn into a small view size.
uint32_t ParseDecimal(const wchar_t* p)
{
    uint64_t v = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p)
        v = std::min<uint64_t>(v * 10 + (*p - L'0'), UINT32_MAX);
    return static_cast<uint32_t>(v);
}

void AddRootEntries(const std::wstring& root, const StartupProbe& probe, StartupResult& result)
{
    for (const std::wstring& name : probe.listRoot(root)) {
        if (name == L"." || name == L"..") continue;
        result.m_arrStartFiles.push_back(root + name);
    }
}

std::wstring FolderOption(std::wstring text)
{
    zk::TrimText(text);
    zk::AddTrailingSlash(text);
    return text;
}

} // namespace

std::wstring NormaliseDroppedPath(std::wstring path)
{
    if (path.empty() || path.back() != L'\\') path += L'\\';
    bool driveRoot = path.size() >= 2 && path[path.size() - 2] == L':';
    if (!driveRoot) path.pop_back();
    return path;
}

// "D:\" with an upper-case letter stands for the drive's entries; "d:\" is
// taken as the path it is.
bool IsUpperDriveRoot(const std::wstring& path)
{
    return path.size() == 3 && path[0] >= L'A' && path[0] <= L'Z' && path[1] == L':' && path[2] == L'\\';
}

bool SplitStartFields(std::wstring text, std::vector<std::wstring>& fields)
{
    return SplitInPlace(text.data(), text.size(), fields);
}

void ReadStartFields(std::vector<std::wstring> fields, size_t first, const StartupProbe& probe,
                     StartupResult& result)
{
    bool handedOff = false;
    for (size_t i = first; i < fields.size(); ++i) {
        const std::wstring field = fields[i];
        if (field.empty()) continue;
        if (field[0] != L'-') {
            // Normalised as a drop is: the wizard reads each path's own
            // entry, which a folder named with its trailing "\" has not.
            std::wstring path = NormaliseDroppedPath(result.m_strBaseFolder + field);
            if (!probe.pathExists(path)) continue;
            if (IsUpperDriveRoot(path))
                AddRootEntries(path, probe, result);
            else
                result.m_arrStartFiles.push_back(std::move(path));
            continue;
        }
        const wchar_t option = field.size() > 1 ? field[1] : L'\0';
        if (option == L'-') {
            result.m_arrSwitches.push_back(field);
        } else if (option == L'I' || option == L'O') {
            std::wstring folder = i + 1 < fields.size() ? FolderOption(fields[++i]) : std::wstring();
            (option == L'I' ? result.m_strBaseFolder : result.m_strCmdOutputFolder) = std::move(folder);
        } else if (option == L'M' && !handedOff) {
            const uint32_t viewSize = ParseDecimal(field.c_str() + 2);
            const size_t c = field.find(L'C');
            if (c != std::wstring::npos)
                result.m_nStayOnFilePage =
                    static_cast<int>(std::min<uint32_t>(ParseDecimal(&field[c + 1]), INT_MAX));
            std::vector<std::wstring> block;
            if (probe.handoff(viewSize, block) == 0) {
                handedOff = true;
                fields = std::move(block);
                i = SIZE_MAX; // the next round starts at the block's first field
            }
        }
    }
    if (result.m_arrStartFiles.empty() && IsUpperDriveRoot(result.m_strBaseFolder))
        AddRootEntries(result.m_strBaseFolder, probe, result);
}

void ReadCommandLine(const std::wstring& commandLine, int argc, const StartupProbe& probe,
                     StartupResult& result)
{
    if (argc <= 1) return;
    std::vector<std::wstring> fields;
    if (!SplitStartFields(commandLine, fields)) return;
    ReadStartFields(std::move(fields), 1, probe, result);
}

CShellHandoff::~CShellHandoff()
{
    if (m_pView) UnmapViewOfFile(m_pView);
    if (m_hMapping) CloseHandle(m_hMapping);
}

void CShellHandoff::ReportFailure()
{
    zk::GetLastErrorText();
    m_dialogue.ReportSystemError();
}

int CShellHandoff::Read(uint32_t viewSize, std::vector<std::wstring>& fields)
{
    m_nViewSize = viewSize;
    m_hMapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, MAPPING_NAME);
    if (!m_hMapping) {
        ReportFailure();
        return 1;
    }
    // A view larger than the block fails here rather than reaching memory
    // the block does not have.
    m_pView = MapViewOfFileEx(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, m_nViewSize, nullptr);
    const bool mapped = m_pView != nullptr;
    if (!mapped) {
        ReportFailure();
    } else {
        size_t bytes = m_nViewSize;
        MEMORY_BASIC_INFORMATION info{};
        // Size 0 maps the whole block; its extent is then the view's.
        if (bytes == 0 && VirtualQuery(m_pView, &info, sizeof info) != 0) bytes = info.RegionSize;
        wchar_t* text = static_cast<wchar_t*>(m_pView);
        const size_t chars = bytes / sizeof(wchar_t);
        const size_t length = wcsnlen(text, chars);
        // Without its terminator inside the view the text may be cut short:
        // none of it is taken rather than a partial list of paths.
        if (length == chars || !SplitInPlace(text, length, fields)) fields.clear();
        if (!UnmapViewOfFile(m_pView)) ReportFailure();
        m_pView = nullptr;
    }
    CloseHandle(m_hMapping);
    m_hMapping = nullptr;
    return mapped ? 0 : 1;
}

StartupProbe SystemStartupProbe(CShellHandoff& handoff)
{
    StartupProbe probe;
    probe.pathExists = [](const std::wstring& path) { return zk::PathExists(path.c_str()); };
    probe.listRoot = [](const std::wstring& root) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        zk::FindHandle find(FindFirstFileW(zk::LongPathForm(root + L"*.*").c_str(), &data));
        if (!find) return names;
        do {
            names.emplace_back(data.cFileName);
        } while (FindNextFileW(find.Get(), &data));
        return names;
    };
    probe.handoff = [&handoff](uint32_t viewSize, std::vector<std::wstring>& fields) {
        return handoff.Read(viewSize, fields);
    };
    return probe;
}
