#pragma once
// Whether a name read from an archive may become one component of a path
// under the destination folder. Archives come from anyone: a name that
// climbs out of the folder, names a device or cannot exist on disk is
// refused before anything is written under it.

#include <string_view>

namespace zk {

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (also with the
// superscript digits 1-3 the system treats alike), in any case, with or
// without an extension, and with trailing blanks or dots: the system opens
// the device instead of a file for every one of them.
bool IsReservedDeviceName(std::u16string_view name);

// A plain name (not empty, not "." or "..", no separator, drive colon,
// wildcard or control character, not ending in a dot or a blank) that is
// not a device name.
bool IsSafeEntryName(std::u16string_view name);

} // namespace zk
