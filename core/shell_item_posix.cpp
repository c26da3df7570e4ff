// Outside Windows there is no shell namespace and no file association: a
// path is always an item, no program is associated, and COM needs nothing.

#include "core/shell_item.h"

namespace zk {

bool ShellKnowsPath(const std::wstring&)
{
    return true;
}

bool HasAssociatedProgram(const std::wstring&)
{
    return false;
}

ShellThreadScope::ShellThreadScope() = default;
ShellThreadScope::~ShellThreadScope() = default;

} // namespace zk
