#pragma once
// A user for the engines' tests: records every message a worker tells or
// asks (from any thread) and answers from a script, whose last answer
// repeats, or from a function.

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include "core/user_message.h"

namespace zk::test {

class FakeDialogue : public IUserDialogue {
public:
    explicit FakeDialogue(std::vector<Answer> script = {ANSWER_OK}) : m_listScript(std::move(script)) {}

    Answer Ask(const UserMessage& message) override
    {
        std::function<Answer(const UserMessage&)> answerer;
        Answer answer = ANSWER_OK;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_listMessages.push_back(message);
            if (m_answerer) {
                answerer = m_answerer;
            } else if (!m_listScript.empty()) {
                answer = m_listScript[std::min(m_nNext, m_listScript.size() - 1)];
                ++m_nNext;
            }
        }
        // Outside the lock: an answering function may wait for the test.
        return answerer ? answerer(message) : answer;
    }

    void SetScript(std::vector<Answer> script)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_listScript = std::move(script);
        m_nNext = 0;
    }
    void SetAnswerer(std::function<Answer(const UserMessage&)> fn)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_answerer = std::move(fn);
    }
    std::vector<UserMessage> Messages() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_listMessages;
    }
    std::vector<std::wstring> Texts() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<std::wstring> texts;
        for (const UserMessage& m : m_listMessages) texts.push_back(m.m_strText);
        return texts;
    }
    size_t Count() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_listMessages.size();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_listMessages.clear();
    }

private:
    mutable std::mutex m_lock;
    std::vector<UserMessage> m_listMessages;
    std::vector<Answer> m_listScript;
    size_t m_nNext = 0;
    std::function<Answer(const UserMessage&)> m_answerer;
};

} // namespace zk::test
