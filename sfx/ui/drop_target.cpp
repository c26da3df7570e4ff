#include "sfx/ui/drop_target.h"

#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <vector>

namespace zk {

namespace {

// The longest path taken from a dropped file list.
constexpr size_t DROPPED_PATH_CHARS = 8192;
// How many formats of a data object are looked at.
constexpr ULONG MAX_LISTED_FORMATS = 256;

std::vector<UINT> PriorityList()
{
    const DropFormats& f = RegisteredDropFormats();
    return {f.m_nUrlW,       f.m_nUrl,      f.m_nIdList,      CF_UNICODETEXT, CF_TEXT,  f.m_nSourceUrl,
            f.m_nGroupDescW, f.m_nTextHtml, f.m_nDragContext, CF_HDROP,       f.m_nHtml};
}

// The formats a data object offers for reading, in its own order.
std::vector<FORMATETC> ListFormats(IDataObject* data)
{
    std::vector<FORMATETC> formats;
    IEnumFORMATETC* e = nullptr;
    if (!data || FAILED(data->EnumFormatEtc(DATADIR_GET, &e)) || !e) return formats;
    FORMATETC fe;
    ULONG got = 0;
    while (formats.size() < MAX_LISTED_FORMATS && e->Next(1, &fe, &got) == S_OK && got == 1) {
        if (fe.ptd) CoTaskMemFree(fe.ptd);
        fe.ptd = nullptr;
        formats.push_back(fe);
    }
    e->Release();
    return formats;
}

// Locked global memory of a fetched medium, released on destruction.
class FetchedData {
public:
    FetchedData(IDataObject* data, UINT format, DWORD medium, LONG index = -1)
    {
        FORMATETC fe = {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, index, medium};
        m_bFetched = SUCCEEDED(data->GetData(&fe, &m_medium));
        if (m_bFetched && m_medium.tymed == TYMED_HGLOBAL && m_medium.hGlobal) {
            m_pBytes = static_cast<const uint8_t*>(GlobalLock(m_medium.hGlobal));
            m_nSize = m_pBytes ? GlobalSize(m_medium.hGlobal) : 0;
        }
    }
    ~FetchedData()
    {
        if (m_pBytes) GlobalUnlock(m_medium.hGlobal);
        if (m_bFetched) ReleaseStgMedium(&m_medium);
    }
    FetchedData(const FetchedData&) = delete;
    FetchedData& operator=(const FetchedData&) = delete;

    bool Fetched() const { return m_bFetched; }
    const uint8_t* Bytes() const { return m_pBytes; }
    size_t Size() const { return m_nSize; }

private:
    STGMEDIUM m_medium = {};
    bool m_bFetched = false;
    const uint8_t* m_pBytes = nullptr;
    size_t m_nSize = 0;
};

std::wstring WideText(const uint8_t* bytes, size_t size)
{
    size_t max = size / sizeof(wchar_t);
    std::wstring text(max, L'\0');
    if (max) std::memcpy(text.data(), bytes, max * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), max));
    return text;
}

std::wstring MultiByteText(UINT codePage, const uint8_t* bytes, size_t size)
{
    const char* s = reinterpret_cast<const char*>(bytes);
    int len = static_cast<int>(strnlen(s, size < 0x7FFFFFFF ? size : 0x7FFFFFFF));
    if (len == 0) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, s, len, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s, len, text.data(), n);
    return text;
}

// DROPFILES followed by a list of paths, each ended by a zero, the list by
// one more. Read only within the memory block: another program made it.
std::wstring DroppedFileList(const uint8_t* bytes, size_t size)
{
    std::wstring out;
    if (size < sizeof(DROPFILES)) return out;
    DROPFILES header;
    std::memcpy(&header, bytes, sizeof header);
    if (header.pFiles >= size) return out;
    size_t pos = header.pFiles;
    while (pos < size) {
        std::wstring path;
        if (header.fWide) {
            size_t start = pos;
            while (pos + 1 < size && (bytes[pos] | bytes[pos + 1]) != 0)
                pos += 2;
            if (pos + 1 >= size) break;
            path = WideText(bytes + start, pos - start);
            pos += 2;
        } else {
            size_t start = pos;
            while (pos < size && bytes[pos] != 0)
                ++pos;
            if (pos >= size) break;
            path = MultiByteText(CP_ACP, bytes + start, pos - start);
            pos += 1;
        }
        if (path.empty()) break;
        if (path.size() > DROPPED_PATH_CHARS - 1) path.resize(DROPPED_PATH_CHARS - 1);
        out += path;
        out.push_back(L'\0');
    }
    if (!out.empty()) out.push_back(L'\0');
    return out;
}

// Whether an item identifier list starting at offset lies wholly inside the
// block (its items' sizes followed by the closing zero size).
bool IdListFits(const uint8_t* bytes, size_t size, size_t offset)
{
    while (offset + 2 <= size) {
        uint16_t cb = static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
        if (cb == 0) return true;
        if (cb < 2 || cb > size - offset) return false;
        offset += cb;
    }
    return false;
}

// CIDA: a count, the offset of the parent folder's list, then the offsets
// of the items' lists relative to it; every item's path, stored like a
// dropped file list, items without a file-system path left out.
std::wstring IdListPaths(const uint8_t* bytes, size_t size)
{
    std::wstring out;
    if (size < sizeof(UINT) * 2) return out;
    UINT count = 0;
    std::memcpy(&count, bytes, sizeof count);
    if (count > (size - sizeof(UINT)) / sizeof(UINT) - 1) return out;
    auto offsetAt = [&](UINT i) {
        UINT off = 0;
        std::memcpy(&off, bytes + sizeof(UINT) * (1 + i), sizeof off);
        return static_cast<size_t>(off);
    };
    size_t parentOffset = offsetAt(0);
    if (!IdListFits(bytes, size, parentOffset)) return out;
    auto parent = reinterpret_cast<PCIDLIST_ABSOLUTE>(bytes + parentOffset);
    for (UINT i = 1; i <= count; ++i) {
        size_t itemOffset = offsetAt(i);
        if (!IdListFits(bytes, size, itemOffset)) continue;
        PIDLIST_ABSOLUTE full = ILCombine(parent, reinterpret_cast<PCUIDLIST_RELATIVE>(bytes + itemOffset));
        if (!full) continue;
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(full, path) && path[0]) {
            out += path;
            out.push_back(L'\0');
        }
        ILFree(full);
    }
    if (!out.empty()) out.push_back(L'\0');
    return out;
}

// FILEGROUPDESCRIPTORW: a count and that many descriptors; the names joined
// by "\n".
std::wstring GroupDescriptorNames(const uint8_t* bytes, size_t size)
{
    std::wstring out;
    if (size < sizeof(UINT)) return out;
    UINT count = 0;
    std::memcpy(&count, bytes, sizeof count);
    size_t fit = (size - sizeof(UINT)) / sizeof(FILEDESCRIPTORW);
    if (count > fit) count = static_cast<UINT>(fit);
    for (UINT i = 0; i < count; ++i) {
        FILEDESCRIPTORW d;
        std::memcpy(&d, bytes + sizeof(UINT) + i * sizeof(FILEDESCRIPTORW), sizeof d);
        if (i) out.push_back(L'\n');
        out.append(d.cFileName, wcsnlen(d.cFileName, MAX_PATH));
    }
    return out;
}

} // namespace

const DropFormats& RegisteredDropFormats()
{
    static const DropFormats formats = [] {
        DropFormats f;
        f.m_nHtml = RegisterClipboardFormatW(L"HTML Format");
        f.m_nUrlW = RegisterClipboardFormatW(L"UniformResourceLocatorW");
        f.m_nUrl = RegisterClipboardFormatW(L"UniformResourceLocator");
        f.m_nGroupDescW = RegisterClipboardFormatW(L"FileGroupDescriptorW");
        f.m_nContents = RegisterClipboardFormatW(L"FileContents");
        f.m_nFileNameW = RegisterClipboardFormatW(L"FileNameW");
        f.m_nIdList = RegisterClipboardFormatW(L"Shell IDList Array");
        f.m_nDragContext = RegisterClipboardFormatW(L"DragContext");
        f.m_nTextHtml = RegisterClipboardFormatW(L"text/html");
        f.m_nSourceUrl = RegisterClipboardFormatW(L"msSourceUrl");
        return f;
    }();
    return formats;
}

bool IsKnownDropFormat(UINT format)
{
    if (format == 0) return false;
    for (UINT f : PriorityList())
        if (f == format) return true;
    return false;
}

bool ConvertDropFormat(IDataObject* data, UINT format, DWORD medium, std::wstring* text)
{
    text->clear();
    if (!data || format == 0) return false;
    const DropFormats& f = RegisteredDropFormats();
    FetchedData fetched(data, format, medium);
    if (!fetched.Fetched()) return false;
    if (format == f.m_nDragContext) return false;

    if (format == f.m_nGroupDescW) {
        if (fetched.Bytes()) *text = GroupDescriptorNames(fetched.Bytes(), fetched.Size());
        // Some sources only finish preparing the group once the contents
        // were asked for; the contents themselves are not used.
        FetchedData contents(data, f.m_nContents, TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_ISTORAGE, 0);
        return !text->empty();
    }
    if (!fetched.Bytes()) return false;
    if (format == CF_TEXT || format == f.m_nUrl)
        *text = MultiByteText(CP_THREAD_ACP, fetched.Bytes(), fetched.Size());
    else if (format == f.m_nHtml)
        // UTF-8 straight to UTF-16: nothing is lost on the way.
        *text = MultiByteText(CP_UTF8, fetched.Bytes(), fetched.Size());
    else if (format == CF_HDROP)
        *text = DroppedFileList(fetched.Bytes(), fetched.Size());
    else if (format == f.m_nIdList)
        *text = IdListPaths(fetched.Bytes(), fetched.Size());
    else
        *text = WideText(fetched.Bytes(), fetched.Size());
    return !text->empty();
}

DropTargetObject* DropTargetObject::Create(HWND target, UINT message)
{
    RegisteredDropFormats();
    return new DropTargetObject(target, message);
}

HRESULT DropTargetObject::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG DropTargetObject::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_nRefs));
}

ULONG DropTargetObject::Release()
{
    LONG n = InterlockedDecrement(&m_nRefs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

bool DropTargetObject::DroppedPaths() const
{
    if (m_strData.empty() || m_strData[0] == L'\0') return false;
    return m_nFormat == CF_HDROP || m_nFormat == RegisteredDropFormats().m_nIdList;
}

void DropTargetObject::ChooseFormat(IDataObject* data)
{
    m_nFormat = 0;
    m_nMedium = 0;
    std::vector<FORMATETC> offered = ListFormats(data);
    for (UINT wanted : PriorityList()) {
        if (wanted == 0) continue;
        for (const FORMATETC& fe : offered) {
            if (fe.cfFormat == wanted) {
                m_nFormat = wanted;
                m_nMedium = fe.tymed;
                return;
            }
        }
    }
}

void DropTargetObject::Notify(DropPhase phase, DropArguments* args)
{
    m_pArgs = args;
    SendMessageW(m_hTarget, m_nMessage, phase, reinterpret_cast<LPARAM>(this));
    m_pArgs = nullptr;
}

HRESULT DropTargetObject::DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect)
{
    m_pDataObject = data;
    ChooseFormat(data);
    m_pDataObject = nullptr;
    if (effect) *effect = m_nFormat ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    DropArguments args{keyState, pt, effect};
    Notify(DROP_PHASE_ENTER, &args);
    return S_OK;
}

HRESULT DropTargetObject::DragOver(DWORD keyState, POINTL pt, DWORD* effect)
{
    if (!effect) return E_INVALIDARG;
    *effect = m_nFormat ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    DropArguments args{keyState, pt, effect};
    Notify(DROP_PHASE_OVER, &args);
    return S_OK;
}

HRESULT DropTargetObject::DragLeave()
{
    Notify(DROP_PHASE_LEAVE, nullptr);
    m_pDataObject = nullptr;
    return S_OK;
}

HRESULT DropTargetObject::Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect)
{
    const DropFormats& f = RegisteredDropFormats();
    m_pDataObject = data;
    m_strData.clear();

    if (m_nFormat == f.m_nUrlW) {
        std::wstring url, html;
        if (ConvertDropFormat(data, f.m_nUrlW, m_nMedium, &url)) {
            m_strData = url;
            if (ConvertDropFormat(data, f.m_nHtml, TYMED_HGLOBAL, &html)) m_strData = url + L"\n" + html;
        }
    } else if (IsKnownDropFormat(m_nFormat)) {
        ConvertDropFormat(data, m_nFormat, m_nMedium, &m_strData);
    }

    if (m_strData.empty()) {
        // The chosen format gave nothing: take the first other known format,
        // in the data object's own order, that does.
        UINT tried = m_nFormat;
        for (const FORMATETC& fe : ListFormats(data)) {
            if (!IsKnownDropFormat(fe.cfFormat) || fe.cfFormat == tried) continue;
            if (ConvertDropFormat(data, fe.cfFormat, fe.tymed, &m_strData)) {
                m_nFormat = fe.cfFormat;
                m_nMedium = fe.tymed;
                break;
            }
        }
    }

    m_pDataObject = nullptr;
    HRESULT hr = E_FAIL;
    DropArguments args{keyState, pt, effect};
    if (m_nFormat) {
        Notify(DROP_PHASE_DROP, &args);
        hr = S_OK;
    }
    m_strData.clear();
    if (effect) *effect = m_nFormat ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return hr;
}

} // namespace zk
