/* LZ4's fast coder and its decoder, compiled through a unit of ours.
 *
 * LZ4 picks the hash of its fast match finder by the width of a machine
 * register: it hashes five bytes where registers are 64-bit and four where
 * they are 32-bit. The same input then compresses to other bytes in a
 * 32-bit build than in a 64-bit one, while an archive must not depend on
 * which build wrote it. LZ4 takes the width from __x86_64__ alone (its
 * "x32" case: 64-bit registers beside 32-bit pointers), so a 32-bit x86
 * build compiles it as that case; only speed differs. Every system header
 * LZ4 includes is included first, so that only LZ4's own code sees the
 * definition. The high-compression coder stays a unit of its own (so that
 * the extractor links none of it); its hash reads four bytes on every
 * build. */
#include <assert.h>
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__i386__) && !defined(__x86_64__)
#define __x86_64__ 1
#endif

#include "lz4.c"

_Static_assert(sizeof(reg_t) == 8, "LZ4 must hash as on 64-bit machines");
