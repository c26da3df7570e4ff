#include "builder/engine/build_job.h"

#include "core/secure_wipe.h"

namespace zk {

void BuildFlags::RequestAbort()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_nState.load() != BUILD_STATE_FINISHED) m_nResult.store(BUILD_RESULT_ABORTED);
}

void BuildFlags::Finish(bool failed)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!failed)
        m_nResult.store(BUILD_RESULT_OK);
    else if (m_nResult.load() == BUILD_RESULT_OK)
        m_nResult.store(BUILD_RESULT_FAILED);
    m_nState.store(BUILD_STATE_FINISHED);
}

void BuildSettings::WipePassword()
{
    if (!m_strPassword.empty()) SecureWipe(m_strPassword.data(), m_strPassword.size() * sizeof(wchar_t));
    m_strPassword.clear();
}

} // namespace zk
