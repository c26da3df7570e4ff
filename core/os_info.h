#pragma once
// What the program learns about the running system at start-up: the OS
// version code (core/os_version.h) and the native system information.

#include "core/os_version.h"

#include <windows.h>

namespace zk {

// Reads the extended version record, the product type and the native system
// information, and computes the OS version code. A failure of the version
// call or of finding the system folder is recorded (LastErrorText) and
// returns false.
bool LoadOsInfo();

// The OS version code; loads the information quietly on first use when
// LoadOsInfo has not run.
int OsVersionCode();

// The version record, the product type (GetProductInfo; 0 when unknown) and
// the native system information as LoadOsInfo found them.
const OSVERSIONINFOEXW& OsVersionRecord();
DWORD OsProductType();
const SYSTEM_INFO& NativeSystemInfo();

} // namespace zk
