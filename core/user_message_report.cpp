#include "core/user_message.h"

#include "core/last_error.h"

namespace zk {

void IUserDialogue::ReportSystemError()
{
    const uint32_t code = LastErrorCode();
    if (code == 0) return;
    Ask(SystemErrorMessage(code, LastErrorText()));
}

} // namespace zk
