#pragma once
// Overwrites secrets (passwords, key texts) with zeros in a way the
// compiler does not drop as a dead store.

#include <cstddef>

namespace zk {

inline void SecureWipe(void* data, size_t size)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (size--)
        *p++ = 0;
}

} // namespace zk
