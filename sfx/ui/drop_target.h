#pragma once
// The drop target of the destination box. It picks the most useful format a
// dragged data object offers, turns the dropped data into text and tells a
// window about every phase of the drag with a private message; the window
// decides what to do with it (the destination box takes dropped folders).

#include <windows.h>
#include <ole2.h>

#include <string>

namespace zk {

// Sent to the target window: wParam = DropPhase, lParam = the
// DropTargetObject*, valid during the SendMessage only.
constexpr UINT WM_DROPNOTIFY = 33268;

enum DropPhase : WPARAM {
    DROP_PHASE_ENTER = 0,
    DROP_PHASE_OVER = 1,
    DROP_PHASE_LEAVE = 2,
    DROP_PHASE_DROP = 3,
};

// Clipboard formats known by name, registered once per process.
struct DropFormats {
    UINT m_nHtml = 0;        // "HTML Format"
    UINT m_nUrlW = 0;        // "UniformResourceLocatorW"
    UINT m_nUrl = 0;         // "UniformResourceLocator"
    UINT m_nGroupDescW = 0;  // "FileGroupDescriptorW"
    UINT m_nContents = 0;    // "FileContents"
    UINT m_nFileNameW = 0;   // "FileNameW"
    UINT m_nIdList = 0;      // "Shell IDList Array"
    UINT m_nDragContext = 0; // "DragContext"
    UINT m_nTextHtml = 0;    // "text/html"
    UINT m_nSourceUrl = 0;   // "msSourceUrl"
};

// Registers the formats on the first call; later calls return the same ids.
const DropFormats& RegisteredDropFormats();

// Whether the drop target knows a format (it is in the priority list).
bool IsKnownDropFormat(UINT format);

// The arguments of the drag call being notified, after the data object.
struct DropArguments {
    DWORD m_nKeyState = 0;
    POINTL m_pt = {};
    DWORD* m_pEffect = nullptr;
};

class DropTargetObject final : public IDropTarget {
public:
    // A new object with one reference, notifying target with message.
    static DropTargetObject* Create(HWND target, UINT message = WM_DROPNOTIFY);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) override;

    // For the receiver of a notification.
    UINT ChosenFormat() const { return m_nFormat; }
    DWORD ChosenMedium() const { return m_nMedium; }
    // The converted data during the drop notification. For files: every
    // path ended by a zero, so c_str() is the first path.
    const std::wstring& DataText() const { return m_strData; }
    // Whether the drop brought file-system paths: a file list, or the
    // shell's item list of which at least one item has a path (what
    // Explorer offers first when files or folders are dragged from it).
    bool DroppedPaths() const;
    const DropArguments* Arguments() const { return m_pArgs; }
    IDataObject* DataObject() const { return m_pDataObject; }
    HWND TargetWindow() const { return m_hTarget; }

private:
    DropTargetObject(HWND target, UINT message) : m_hTarget(target), m_nMessage(message) {}
    ~DropTargetObject() = default;

    void ChooseFormat(IDataObject* data);
    void Notify(DropPhase phase, DropArguments* args);

    HWND m_hTarget;
    uint32_t m_nReserved = 0;
    UINT m_nMessage;
    UINT m_nFormat = 0;
    DWORD m_nMedium = 0;
    std::wstring m_strData;
    DropArguments* m_pArgs = nullptr;
    IDataObject* m_pDataObject = nullptr; // borrowed for the length of one call
    LONG m_nRefs = 1;
};

// Fetches one format of a data object (content aspect, index -1, the given
// media) and turns it into text; false when the data cannot be fetched or
// gives no text. Data from another program is bounded by its memory size.
bool ConvertDropFormat(IDataObject* data, UINT format, DWORD medium, std::wstring* text);

} // namespace zk
