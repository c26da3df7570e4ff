#include "ui/message_box.h"

#include <utility>

namespace zk {

namespace {

std::mutex g_boxFuncLock;
MessageBoxFunc g_boxFunc;

} // namespace

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    MessageBoxFunc fn;
    {
        std::lock_guard<std::mutex> lock(g_boxFuncLock);
        fn = g_boxFunc;
    }
    // The box may stay open for minutes; never hold the lock while it does.
    if (fn) return fn(owner, text, caption, flags);
    return MessageBoxW(owner, text, caption, flags);
}

MessageBoxFunc SetMessageBoxFunc(MessageBoxFunc fn)
{
    std::lock_guard<std::mutex> lock(g_boxFuncLock);
    std::swap(g_boxFunc, fn);
    return fn;
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : m_nAnswer(answer)
{
    m_previous = SetMessageBoxFunc([this](HWND owner, const wchar_t* text, const wchar_t* caption,
                                          UINT flags) { return Record(owner, text, caption, flags); });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxFunc(std::move(m_previous));
}

void MessageBoxRecorder::SetAnswer(int answer)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_nAnswer = answer;
}

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::Boxes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_listBoxes;
}

size_t MessageBoxRecorder::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_listBoxes.size();
}

void MessageBoxRecorder::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_listBoxes.clear();
}

int MessageBoxRecorder::Record(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_listBoxes.push_back(Box{owner, text ? text : L"", caption ? caption : L"", flags});
    return m_nAnswer;
}

} // namespace zk
