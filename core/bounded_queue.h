#pragma once
// A queue of at most a fixed number of items between threads, in the order
// they were pushed. Both ends wait while it is full or empty, but never
// longer than a poll interval without looking at the cancel flag, so that a
// cancelled run stops within a few milliseconds even when the other side is
// stuck. Close() wakes every waiter and refuses further items; Reopen()
// empties the queue for the next use.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "core/block_decoder.h"

namespace zk {

template <class T> class BoundedQueue {
public:
    static constexpr std::chrono::milliseconds POLL{5};

    explicit BoundedQueue(size_t capacity) : m_nCapacity(capacity ? capacity : 1) {}
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // False when the queue was closed or the run cancelled first.
    bool Push(T item, const CancelFlag* cancel = nullptr)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            if (m_bClosed || Cancelled(cancel)) return false;
            if (m_items.size() < m_nCapacity) break;
            m_changed.wait_for(lock, POLL);
        }
        m_items.push_back(std::move(item));
        m_changed.notify_all();
        return true;
    }

    // The oldest item. False when the queue was closed or the run cancelled
    // before one came; items left in a closed queue stay for Reopen to drop.
    bool Pop(T& item, const CancelFlag* cancel = nullptr)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            if (m_bClosed || Cancelled(cancel)) return false;
            if (!m_items.empty()) break;
            m_changed.wait_for(lock, POLL);
        }
        item = std::move(m_items.front());
        m_items.pop_front();
        m_changed.notify_all();
        return true;
    }

    // The oldest item when one is there now; never waits.
    bool TryPop(T& item)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_bClosed || m_items.empty()) return false;
        item = std::move(m_items.front());
        m_items.pop_front();
        m_changed.notify_all();
        return true;
    }

    void Close()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bClosed = true;
        m_changed.notify_all();
    }

    void Reopen()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_items.clear();
        m_bClosed = false;
    }

    size_t Size() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_items.size();
    }

private:
    const size_t m_nCapacity;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<T> m_items;
    bool m_bClosed = false;
};

} // namespace zk
