// POSIX file systems carry no "Zone.Identifier" stream: no archive is
// marked, and nothing is written.

#include "core/zone_identifier.h"

namespace zk {

ZoneMark ReadZoneIdentifier(const wchar_t*)
{
    return ZoneMark{};
}

bool WriteZoneIdentifier(const wchar_t*, const std::string&)
{
    return true;
}

} // namespace zk
