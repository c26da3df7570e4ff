#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "sfx/ui/destination_edit.h"
#include "sfx/ui/drop_target.h"

namespace zk {
namespace {

// A data object offering fixed formats in global memory, in the order given.
class TestDataObject final : public IDataObject {
public:
    struct Entry {
        UINT format;
        std::vector<uint8_t> bytes;
        bool fails = false;
        int requests = 0;
    };

    void Add(UINT format, std::vector<uint8_t> bytes, bool fails = false)
    {
        m_entries.push_back(Entry{format, std::move(bytes), fails, 0});
    }
    int Requests(UINT format) const
    {
        for (const Entry& e : m_entries)
            if (e.format == format) return e.requests;
        return 0;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* fe, STGMEDIUM* medium) override
    {
        for (Entry& e : m_entries) {
            if (e.format != fe->cfFormat) continue;
            ++e.requests;
            if (e.fails || !(fe->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
            HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, e.bytes.empty() ? 1 : e.bytes.size());
            void* p = GlobalLock(h);
            if (!e.bytes.empty()) std::memcpy(p, e.bytes.data(), e.bytes.size());
            GlobalUnlock(h);
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = h;
            medium->pUnkForRelease = nullptr;
            return S_OK;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override
    {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<FORMATETC> list;
        for (const Entry& e : m_entries)
            list.push_back(
                FORMATETC{static_cast<CLIPFORMAT>(e.format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(list.size()), list.data(), out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    std::vector<Entry> m_entries;
};

std::vector<uint8_t> WideBytes(const std::wstring& text)
{
    std::vector<uint8_t> b((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(b.data(), text.c_str(), b.size());
    return b;
}

// DROPFILES with wide paths.
std::vector<uint8_t> DropFiles(const std::vector<std::wstring>& paths)
{
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::vector<uint8_t> b(sizeof header);
    std::memcpy(b.data(), &header, sizeof header);
    for (const std::wstring& p : paths) {
        std::vector<uint8_t> w = WideBytes(p);
        b.insert(b.end(), w.begin(), w.end());
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

// The destination box in a window of its own, with a record of the
// notifications it got and of the data text at the drop.
class DropFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hParent =
            CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(m_hParent);
        m_hEdit = CreateWindowExW(0, L"EDIT", L"C:\\before", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0,
                                  300, 20, m_hParent, nullptr, nullptr, nullptr);
        ASSERT_TRUE(m_hEdit);
        ASSERT_TRUE(m_edit.Attach(m_hEdit, [this](const std::wstring& t) { m_commits.push_back(t); }));
        // Sees each notification before the destination box handles it.
        ASSERT_TRUE(SetWindowSubclass(m_hEdit, &DropFixture::Recorder, 1, reinterpret_cast<DWORD_PTR>(this)));
        m_pTarget = DropTargetObject::Create(m_hEdit);
    }
    void TearDown() override
    {
        if (m_pTarget) {
            EXPECT_EQ(m_pTarget->Release(), 0u);
        }
        if (m_hEdit) RemoveWindowSubclass(m_hEdit, &DropFixture::Recorder, 1);
        m_edit.Detach();
        if (m_hParent) DestroyWindow(m_hParent);
    }

    static LRESULT CALLBACK Recorder(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
    {
        auto* self = reinterpret_cast<DropFixture*>(data);
        if (msg == WM_DROPNOTIFY) {
            self->m_phases.push_back(static_cast<int>(wp));
            auto* drop = reinterpret_cast<DropTargetObject*>(lp);
            self->m_nFormatSeen = drop->ChosenFormat();
            if (wp == DROP_PHASE_DROP) self->m_strDropped = drop->DataText();
        }
        return DefSubclassProc(wnd, msg, wp, lp);
    }

    std::wstring EditText() const
    {
        wchar_t buffer[1024] = {};
        GetWindowTextW(m_hEdit, buffer, 1024);
        return buffer;
    }

    // Enter, one move, drop: the effects of the three calls and the drop's result.
    HRESULT DragAndDrop(IDataObject* data, DWORD* enterEffect, DWORD* overEffect)
    {
        POINTL pt = {5, 5};
        *enterEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(m_pTarget->DragEnter(data, MK_LBUTTON, pt, enterEffect), S_OK);
        *overEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(m_pTarget->DragOver(MK_LBUTTON, pt, overEffect), S_OK);
        DWORD dropEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        return m_pTarget->Drop(data, 0, pt, &dropEffect);
    }

    HWND m_hParent = nullptr;
    HWND m_hEdit = nullptr;
    CDestinationEdit m_edit;
    DropTargetObject* m_pTarget = nullptr;
    std::vector<int> m_phases;
    std::vector<std::wstring> m_commits;
    std::wstring m_strDropped;
    UINT m_nFormatSeen = 0;
};

TEST_F(DropFixture, DroppedFilesReplaceTheDestinationWithTheFirstPath)
{
    TestDataObject data;
    data.Add(CF_HDROP, DropFiles({L"D:\\受け取り\\写真", L"D:\\other"}));
    DWORD enter = 0, over = 0;
    EXPECT_EQ(DragAndDrop(&data, &enter, &over), S_OK);
    EXPECT_EQ(enter, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(over, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(m_phases, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(m_pTarget->ChosenFormat(), static_cast<UINT>(CF_HDROP));
    EXPECT_EQ(m_strDropped, std::wstring(L"D:\\受け取り\\写真\0D:\\other\0", 21));
    EXPECT_EQ(EditText(), L"D:\\受け取り\\写真");
    // The text lives only during the drop.
    EXPECT_TRUE(m_pTarget->DataText().empty());
}

TEST_F(DropFixture, DraggingOverSelectsTheWholeDestination)
{
    TestDataObject data;
    data.Add(CF_UNICODETEXT, WideBytes(L"text"));
    SendMessageW(m_hEdit, EM_SETSEL, 2, 3);
    DWORD effect = 0;
    ASSERT_EQ(m_pTarget->DragEnter(&data, 0, POINTL{1, 1}, &effect), S_OK);
    DWORD start = 1, end = 0;
    SendMessageW(m_hEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, static_cast<DWORD>(EditText().size()));
    EXPECT_EQ(m_pTarget->DragLeave(), S_OK);
    EXPECT_EQ(m_phases, (std::vector<int>{0, 2}));
    EXPECT_EQ(EditText(), L"C:\\before");
}

TEST_F(DropFixture, TextIsAcceptedButLeavesTheDestination)
{
    // Plain text comes before a file list in the priority order.
    TestDataObject text;
    text.Add(CF_HDROP, DropFiles({L"D:\\x"}));
    text.Add(CF_UNICODETEXT, WideBytes(L"hello"));
    DWORD enter = 0, over = 0;
    EXPECT_EQ(DragAndDrop(&text, &enter, &over), S_OK);
    EXPECT_EQ(enter, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(m_pTarget->ChosenFormat(), static_cast<UINT>(CF_UNICODETEXT));
    EXPECT_EQ(m_strDropped, L"hello");
    EXPECT_EQ(EditText(), L"C:\\before");
}

// CIDA: count 1, offset of the parent (the desktop: an empty list), offset
// of the item: the shell's item list for one path. With itemOffset given,
// the item's offset points there instead.
std::vector<uint8_t> ItemListFor(const std::wstring& path, UINT itemOffset = 0)
{
    PIDLIST_ABSOLUTE item = nullptr;
    if (SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr) != S_OK) return {};
    const UINT ownOffset = sizeof(UINT) * 3 + 2;
    UINT header[3] = {1, sizeof(UINT) * 3, itemOffset ? itemOffset : ownOffset};
    std::vector<uint8_t> cida(sizeof header);
    std::memcpy(cida.data(), header, sizeof header);
    cida.push_back(0);
    cida.push_back(0);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(item);
    cida.insert(cida.end(), p, p + ILGetSize(item));
    ILFree(item);
    return cida;
}

// Explorer's drags offer the shell's item list and a file list of the same
// paths; the item list ranks first, so its paths set the destination. An
// item list without any path falls back to the file list.
TEST_F(DropFixture, ExplorersItemListSetsTheDestination)
{
    const DropFormats& f = RegisteredDropFormats();
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::vector<uint8_t> items = ItemListFor(windows);
    ASSERT_FALSE(items.empty());
    struct Case {
        const char* what;
        std::vector<uint8_t> itemList;
        UINT chosen;
        std::wstring destination;
    } cases[] = {
        {"a folder dragged from Explorer", items, f.m_nIdList, windows},
        {"an item list without a path", ItemListFor(windows, 100000), CF_HDROP, L"E:\\fallback"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetWindowTextW(m_hEdit, L"C:\\before");
        TestDataObject explorer;
        explorer.Add(f.m_nIdList, c.itemList);
        explorer.Add(CF_HDROP, DropFiles({c.destination}));
        DWORD enter = 0, over = 0;
        EXPECT_EQ(DragAndDrop(&explorer, &enter, &over), S_OK);
        EXPECT_EQ(enter, static_cast<DWORD>(DROPEFFECT_COPY));
        EXPECT_EQ(m_nFormatSeen, c.chosen);
        EXPECT_EQ(lstrcmpiW(EditText().c_str(), c.destination.c_str()), 0) << EditText();
    }
}

TEST_F(DropFixture, NoKnownFormatIsRefusedWithoutDropNotification)
{
    TestDataObject data;
    data.Add(RegisterClipboardFormatW(L"Zelkora Test Private Format"), WideBytes(L"C:\\x"));
    DWORD enter = 0, over = 0;
    EXPECT_TRUE(FAILED(DragAndDrop(&data, &enter, &over)));
    EXPECT_EQ(enter, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(over, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(m_phases, (std::vector<int>{0, 1}));
    EXPECT_EQ(data.Requests(RegisterClipboardFormatW(L"Zelkora Test Private Format")), 0);
    EXPECT_EQ(EditText(), L"C:\\before");
}

TEST_F(DropFixture, UnreadableChosenFormatFallsBackInTheObjectsOrder)
{
    TestDataObject data;
    data.Add(CF_UNICODETEXT, WideBytes(L"unused"), true);
    data.Add(CF_HDROP, DropFiles({L"E:\\fallback"}));
    DWORD enter = 0, over = 0;
    EXPECT_EQ(DragAndDrop(&data, &enter, &over), S_OK);
    EXPECT_EQ(data.Requests(CF_UNICODETEXT), 1);
    EXPECT_EQ(m_pTarget->ChosenFormat(), static_cast<UINT>(CF_HDROP));
    EXPECT_EQ(EditText(), L"E:\\fallback");
}

TEST_F(DropFixture, LinkAndPageTextAreJoined)
{
    const DropFormats& f = RegisteredDropFormats();
    TestDataObject data;
    data.Add(f.m_nHtml, {'<', 'b', '>', 0xC3, 0xA9, '<', '/', 'b', '>', 0});
    data.Add(f.m_nUrlW, WideBytes(L"https://example.org/"));
    DWORD enter = 0, over = 0;
    EXPECT_EQ(DragAndDrop(&data, &enter, &over), S_OK);
    EXPECT_EQ(m_nFormatSeen, f.m_nUrlW);
    EXPECT_EQ(m_strDropped, L"https://example.org/\n<b>\u00e9</b>");
    EXPECT_EQ(EditText(), L"C:\\before");
}

TEST_F(DropFixture, DamagedFileListsAreReadOnlyWithinTheirMemory)
{
    // A file list whose paths start beyond its memory, one whose last path
    // is not ended, and a descriptor group that claims more entries than it
    // holds.
    std::vector<uint8_t> outside = DropFiles({L"D:\\x"});
    DROPFILES header = {};
    header.pFiles = 100000;
    header.fWide = TRUE;
    std::memcpy(outside.data(), &header, sizeof header);
    std::vector<uint8_t> unended = DropFiles({L"D:\\cut"});
    unended.resize(unended.size() - 6);

    for (const std::vector<uint8_t>& bytes : {outside, unended}) {
        TestDataObject data;
        data.Add(CF_HDROP, bytes);
        DWORD enter = 0, over = 0;
        m_strDropped = L"?";
        DragAndDrop(&data, &enter, &over);
        EXPECT_TRUE(m_strDropped.empty() || m_strDropped == L"?");
        EXPECT_EQ(EditText(), L"C:\\before");
    }

    const DropFormats& f = RegisteredDropFormats();
    std::vector<uint8_t> group(sizeof(UINT) + sizeof(FILEDESCRIPTORW));
    UINT claimed = 5000;
    std::memcpy(group.data(), &claimed, sizeof claimed);
    FILEDESCRIPTORW d = {};
    lstrcpyW(d.cFileName, L"one.txt");
    std::memcpy(group.data() + sizeof(UINT), &d, sizeof d);
    TestDataObject data;
    data.Add(f.m_nGroupDescW, group);
    data.Add(f.m_nContents, {1, 2, 3});
    DWORD enter = 0, over = 0;
    EXPECT_EQ(DragAndDrop(&data, &enter, &over), S_OK);
    EXPECT_EQ(m_strDropped, L"one.txt");
    EXPECT_EQ(data.Requests(f.m_nContents), 1);
}

TEST(DropTargetObject, GivesOnlyItsOwnInterfacesAndNeedsAnEffect)
{
    DropTargetObject* target = DropTargetObject::Create(nullptr);
    void* out = reinterpret_cast<void*>(1);
    ASSERT_EQ(target->QueryInterface(IID_IDropTarget, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDropTarget*>(target));
    EXPECT_EQ(target->Release(), 1u);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(target->QueryInterface(IID_IDataObject, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(FAILED(target->DragOver(0, POINTL{0, 0}, nullptr)));
    EXPECT_EQ(target->AddRef(), 2u);
    EXPECT_EQ(target->Release(), 1u);
    EXPECT_EQ(target->Release(), 0u);
}

} // namespace
} // namespace zk
