#include "core/adler32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zk {

namespace {

constexpr uint32_t MOD = 65521;
// The most bytes after which the running sums, below MOD at the start,
// still fit 32 bits: 255 n (n + 1) / 2 + (n + 1) (MOD - 1) < 2^32.
constexpr size_t NMAX = 5552;

void Scalar(uint32_t& a, uint32_t& s, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        a += bytes[i];
        s += a;
    }
}

#if defined(__SSE2__)
uint64_t Sum32(__m128i v)
{
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
    return static_cast<uint64_t>(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
}

// Whole 16-byte pieces. Over a piece of bytes b0..b15 taken with sums a, s:
// a grows by the bytes' sum and s by 16 a + 16 b0 + 15 b1 + ... + 1 b15.
// The vectors keep the bytes' sum, the sum of those sums taken before each
// piece (the 16 a terms) and the weighted sums, apart from a and s.
void Pieces(uint32_t& a, uint32_t& s, const uint8_t* bytes, size_t pieces)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    __m128i sum = zero;    // bytes so far (lanes 0 and 2)
    __m128i before = zero; // sums of the bytes before each piece
    __m128i weighted = zero;
    for (size_t i = 0; i < pieces; ++i) {
        const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
        before = _mm_add_epi32(before, sum);
        sum = _mm_add_epi32(sum, _mm_sad_epu8(piece, zero));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(piece, zero), weightsLow));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(piece, zero), weightsHigh));
    }
    const uint64_t n = 16 * static_cast<uint64_t>(pieces);
    const uint64_t s64 = s + n * a + 16 * Sum32(before) + Sum32(weighted);
    a = static_cast<uint32_t>((a + Sum32(sum)) % MOD);
    s = static_cast<uint32_t>(s64 % MOD);
}
#endif

} // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* bytes, size_t count)
{
    uint32_t a = adler & 0xFFFF;
    uint32_t s = adler >> 16;
    while (count > 0) {
        size_t n = count < NMAX ? count : NMAX;
#if defined(__SSE2__)
        // Runs of up to 4096 bytes keep the vector lanes within 32 bits;
        // their sums are reduced in 64 bits.
        const size_t pieces = (count < 4096 ? count : 4096) / 16;
        if (pieces > 0) {
            Pieces(a, s, bytes, pieces);
            n = 16 * pieces;
            bytes += n;
            count -= n;
            continue;
        }
#endif
        Scalar(a, s, bytes, n);
        a %= MOD;
        s %= MOD;
        bytes += n;
        count -= n;
    }
    return (s << 16) | a;
}

} // namespace zk
