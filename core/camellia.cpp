#include "core/camellia.h"

namespace zk {

namespace {

// The cipher's one S-box as published; the other three are rotations of it.
// clang-format off
constexpr uint8_t SBOX1[256] = {
    112, 130, 44,  236, 179, 39,  192, 229, 228, 133, 87,  53,  234, 12,  174, 65,
    35,  239, 107, 147, 69,  25,  165, 33,  237, 14,  79,  78,  29,  101, 146, 189,
    134, 184, 175, 143, 124, 235, 31,  206, 62,  48,  220, 95,  94,  197, 11,  26,
    166, 225, 57,  202, 213, 71,  93,  61,  217, 1,   90,  214, 81,  86,  108, 77,
    139, 13,  154, 102, 251, 204, 176, 45,  116, 18,  43,  32,  240, 177, 132, 153,
    223, 76,  203, 194, 52,  126, 118, 5,   109, 183, 169, 49,  209, 23,  4,   215,
    20,  88,  58,  97,  222, 27,  17,  28,  50,  15,  156, 22,  83,  24,  242, 34,
    254, 68,  207, 178, 195, 181, 122, 145, 36,  8,   232, 168, 96,  252, 105, 80,
    170, 208, 160, 125, 161, 137, 98,  151, 84,  91,  30,  149, 224, 255, 100, 210,
    16,  196, 0,   72,  163, 247, 117, 219, 138, 3,   230, 218, 9,   63,  221, 148,
    135, 92,  131, 2,   205, 74,  144, 51,  115, 103, 246, 243, 157, 127, 191, 226,
    82,  155, 216, 38,  200, 55,  198, 59,  129, 150, 111, 75,  19,  190, 99,  46,
    233, 121, 167, 140, 159, 110, 188, 142, 41,  245, 249, 182, 47,  253, 180, 89,
    120, 152, 6,   106, 231, 70,  113, 186, 212, 37,  171, 66,  136, 162, 141, 250,
    114, 7,   185, 85,  248, 238, 172, 10,  54,  73,  42,  104, 60,  56,  241, 164,
    64,  40,  211, 123, 187, 201, 67,  193, 21,  227, 173, 244, 119, 199, 128, 158,
};
// clang-format on

constexpr uint8_t Rotl8(uint8_t v, int n)
{
    return static_cast<uint8_t>((v << n) | (v >> (8 - n)));
}

// The F function's S layer and P layer merged: each table gives, for one input
// byte, the S-box output already spread over the output bytes the P layer
// sends it to. Names say which S-box lands in which of the four bytes of the
// left output word (0 = absent).
struct SpTables {
    uint32_t sp1110[256];
    uint32_t sp0222[256];
    uint32_t sp3033[256];
    uint32_t sp4404[256];
};

constexpr SpTables MakeSpTables()
{
    SpTables t{};
    for (int x = 0; x < 256; ++x) {
        const uint32_t s1 = SBOX1[x];
        const uint32_t s2 = Rotl8(SBOX1[x], 1);
        const uint32_t s3 = Rotl8(SBOX1[x], 7);
        const uint32_t s4 = SBOX1[Rotl8(static_cast<uint8_t>(x), 1)];
        t.sp1110[x] = s1 * 0x01010100u;
        t.sp0222[x] = s2 * 0x00010101u;
        t.sp3033[x] = s3 * 0x01000101u;
        t.sp4404[x] = s4 * 0x01010001u;
    }
    return t;
}

alignas(64) constexpr SpTables SP = MakeSpTables();

inline uint32_t Rotl32(uint32_t v, int n)
{
    return (v << n) | (v >> (32 - n));
}
inline uint32_t Rotr32(uint32_t v, int n)
{
    return (v >> n) | (v << (32 - n));
}

inline uint32_t LoadBE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// One Feistel round: (r0, r1) ^= F((l0, l1), (k0, k1)). The right output
// word shares the left word's contributions from the second input half and
// takes those of the first half rotated by one byte.
inline void Round(uint32_t l0, uint32_t l1, uint32_t& r0, uint32_t& r1, uint32_t k0, uint32_t k1)
{
    const uint32_t x0 = l0 ^ k0;
    const uint32_t x1 = l1 ^ k1;
    const uint32_t d = SP.sp1110[x0 >> 24] ^ SP.sp0222[(x0 >> 16) & 0xFF] ^ SP.sp3033[(x0 >> 8) & 0xFF] ^
                       SP.sp4404[x0 & 0xFF];
    uint32_t u = SP.sp0222[x1 >> 24] ^ SP.sp3033[(x1 >> 16) & 0xFF] ^ SP.sp4404[(x1 >> 8) & 0xFF] ^
                 SP.sp1110[x1 & 0xFF];
    u ^= d;
    r0 ^= u;
    r1 ^= u ^ Rotr32(d, 8);
}

inline void SixRounds(uint32_t& l0, uint32_t& l1, uint32_t& r0, uint32_t& r1, const uint32_t* k)
{
    Round(l0, l1, r0, r1, k[0], k[1]);
    Round(r0, r1, l0, l1, k[2], k[3]);
    Round(l0, l1, r0, r1, k[4], k[5]);
    Round(r0, r1, l0, l1, k[6], k[7]);
    Round(l0, l1, r0, r1, k[8], k[9]);
    Round(r0, r1, l0, l1, k[10], k[11]);
}

// FL on the left half and FL^-1 on the right half, between groups of rounds.
inline void FlLayer(uint32_t& l0, uint32_t& l1, uint32_t& r0, uint32_t& r1, const uint32_t* k)
{
    l1 ^= Rotl32(l0 & k[0], 1);
    l0 ^= l1 | k[1];
    r0 ^= r1 | k[3];
    r1 ^= Rotl32(r0 & k[2], 1);
}

// Encryption and decryption differ only in the subkey order, so one routine
// serves both. Groups is a template argument so every round is unrolled.
template <unsigned Groups>
void CryptBlocks(const uint32_t* subkeys, const uint8_t* in, uint8_t* out, size_t count)
{
    for (size_t n = 0; n < count; ++n, in += CAMELLIA_BLOCK_SIZE, out += CAMELLIA_BLOCK_SIZE) {
        const uint32_t* k = subkeys;
        uint32_t l0 = LoadBE32(in) ^ k[0];
        uint32_t l1 = LoadBE32(in + 4) ^ k[1];
        uint32_t r0 = LoadBE32(in + 8) ^ k[2];
        uint32_t r1 = LoadBE32(in + 12) ^ k[3];
        k += 4;
        SixRounds(l0, l1, r0, r1, k);
        k += 12;
        for (unsigned g = 1; g < Groups; ++g) {
            FlLayer(l0, l1, r0, r1, k);
            SixRounds(l0, l1, r0, r1, k + 4);
            k += 16;
        }
        // The halves swap on the way out.
        StoreBE32(out, r0 ^ k[0]);
        StoreBE32(out + 4, r1 ^ k[1]);
        StoreBE32(out + 8, l0 ^ k[2]);
        StoreBE32(out + 12, l1 ^ k[3]);
    }
}

void Crypt(const uint32_t* subkeys, unsigned groups, const uint8_t* in, uint8_t* out, size_t count)
{
    if (groups == 3)
        CryptBlocks<3>(subkeys, in, out, count);
    else
        CryptBlocks<4>(subkeys, in, out, count);
}

// The key schedule works on 64- and 128-bit quantities, as the cipher is
// defined; it runs once per key.
struct U128 {
    uint64_t hi;
    uint64_t lo;
};

uint64_t Load64BE(const uint8_t* p)
{
    return (static_cast<uint64_t>(LoadBE32(p)) << 32) | LoadBE32(p + 4);
}

// The upper 64 bits of v rotated left by n bits.
uint64_t UpperOfRotation(U128 v, unsigned n)
{
    n %= 128;
    if (n >= 64) {
        const uint64_t t = v.hi;
        v.hi = v.lo;
        v.lo = t;
        n -= 64;
    }
    if (n == 0) return v.hi;
    return (v.hi << n) | (v.lo >> (64 - n));
}

uint64_t F64(uint64_t x, uint64_t k)
{
    uint32_t y0 = 0;
    uint32_t y1 = 0;
    Round(static_cast<uint32_t>(x >> 32), static_cast<uint32_t>(x), y0, y1, static_cast<uint32_t>(k >> 32),
          static_cast<uint32_t>(k));
    return (static_cast<uint64_t>(y0) << 32) | y1;
}

constexpr uint64_t SIGMA[6] = {
    0xA09E667F3BCC908Bull, 0xB67AE8584CAA73B2ull, 0xC6EF372FE94F82BEull,
    0x54FF53A5F1D36F1Cull, 0x10E527FADE682D1Dull, 0xB05688C2B3E6C1FDull,
};

enum KeySource : uint8_t { KL, KR, KA, KB };

// Where each 64-bit subkey comes from, in the order the rounds use them:
// the upper half of a key quantity rotated left by the given count (a lower
// half is the upper half of a rotation 64 bits further).
struct SubkeyPick {
    KeySource src;
    uint8_t rot;
};

// clang-format off
constexpr SubkeyPick PICKS_128[26] = {
    {KL, 0},   {KL, 64},  // kw1 kw2
    {KA, 0},   {KA, 64},  {KL, 15},  {KL, 79},  {KA, 15},  {KA, 79},  // k1..k6
    {KA, 30},  {KA, 94},  // ke1 ke2
    {KL, 45},  {KL, 109}, {KA, 45},  {KL, 124}, {KA, 60},  {KA, 124}, // k7..k12
    {KL, 77},  {KL, 13},  // ke3 ke4
    {KL, 94},  {KL, 30},  {KA, 94},  {KA, 30},  {KL, 111}, {KL, 47},  // k13..k18
    {KA, 111}, {KA, 47},  // kw3 kw4
};

constexpr SubkeyPick PICKS_256[34] = {
    {KL, 0},   {KL, 64},  // kw1 kw2
    {KB, 0},   {KB, 64},  {KR, 15},  {KR, 79},  {KA, 15},  {KA, 79},  // k1..k6
    {KR, 30},  {KR, 94},  // ke1 ke2
    {KB, 30},  {KB, 94},  {KL, 45},  {KL, 109}, {KA, 45},  {KA, 109}, // k7..k12
    {KL, 60},  {KL, 124}, // ke3 ke4
    {KR, 60},  {KR, 124}, {KB, 60},  {KB, 124}, {KL, 77},  {KL, 13},  // k13..k18
    {KA, 77},  {KA, 13},  // ke5 ke6
    {KR, 94},  {KR, 30},  {KA, 94},  {KA, 30},  {KL, 111}, {KL, 47},  // k19..k24
    {KB, 111}, {KB, 47},  // kw3 kw4
};
// clang-format on

} // namespace

int CCamellia::SetKey(const uint8_t* key, unsigned keyBits)
{
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) return 1;

    U128 q[4] = {};
    q[KL] = {Load64BE(key), Load64BE(key + 8)};
    if (keyBits == 192) {
        q[KR].hi = Load64BE(key + 16);
        q[KR].lo = ~q[KR].hi;
    } else if (keyBits == 256) {
        q[KR] = {Load64BE(key + 16), Load64BE(key + 24)};
    }

    uint64_t d1 = q[KL].hi ^ q[KR].hi;
    uint64_t d2 = q[KL].lo ^ q[KR].lo;
    d2 ^= F64(d1, SIGMA[0]);
    d1 ^= F64(d2, SIGMA[1]);
    d1 ^= q[KL].hi;
    d2 ^= q[KL].lo;
    d2 ^= F64(d1, SIGMA[2]);
    d1 ^= F64(d2, SIGMA[3]);
    q[KA] = {d1, d2};
    if (keyBits != 128) {
        d1 = q[KA].hi ^ q[KR].hi;
        d2 = q[KA].lo ^ q[KR].lo;
        d2 ^= F64(d1, SIGMA[4]);
        d1 ^= F64(d2, SIGMA[5]);
        q[KB] = {d1, d2};
    }

    const SubkeyPick* picks = keyBits == 128 ? PICKS_128 : PICKS_256;
    const size_t n = keyBits == 128 ? 26 : 34;
    uint64_t sub[34];
    for (size_t i = 0; i < n; ++i)
        sub[i] = UpperOfRotation(q[picks[i].src], picks[i].rot);

    // Decryption runs the same rounds with the subkeys in reverse order,
    // except that each whitening pair keeps its own order.
    uint64_t dec[34];
    for (size_t i = 0; i < n; ++i)
        dec[i] = sub[n - 1 - i];
    const uint64_t t0 = dec[0];
    dec[0] = dec[1];
    dec[1] = t0;
    const uint64_t t1 = dec[n - 2];
    dec[n - 2] = dec[n - 1];
    dec[n - 1] = t1;

    Wipe();
    for (size_t i = 0; i < n; ++i) {
        m_enc[2 * i] = static_cast<uint32_t>(sub[i] >> 32);
        m_enc[2 * i + 1] = static_cast<uint32_t>(sub[i]);
        m_dec[2 * i] = static_cast<uint32_t>(dec[i] >> 32);
        m_dec[2 * i + 1] = static_cast<uint32_t>(dec[i]);
    }
    m_nGroups = keyBits == 128 ? 3 : 4;
    m_nKeyBits = keyBits;

    volatile uint64_t* scrub = sub;
    for (size_t i = 0; i < 34; ++i)
        scrub[i] = 0;
    scrub = dec;
    for (size_t i = 0; i < 34; ++i)
        scrub[i] = 0;
    return 0;
}

void CCamellia::EncryptBlock(const uint8_t in[CAMELLIA_BLOCK_SIZE], uint8_t out[CAMELLIA_BLOCK_SIZE]) const
{
    Crypt(m_enc, m_nGroups, in, out, 1);
}

void CCamellia::DecryptBlock(const uint8_t in[CAMELLIA_BLOCK_SIZE], uint8_t out[CAMELLIA_BLOCK_SIZE]) const
{
    Crypt(m_dec, m_nGroups, in, out, 1);
}

void CCamellia::EncryptBlocks(uint8_t* data, size_t count) const
{
    Crypt(m_enc, m_nGroups, data, data, count);
}

void CCamellia::DecryptBlocks(uint8_t* data, size_t count) const
{
    Crypt(m_dec, m_nGroups, data, data, count);
}

void CCamellia::Wipe()
{
    volatile uint32_t* e = m_enc;
    volatile uint32_t* d = m_dec;
    for (size_t i = 0; i < MAX_SUBKEY_WORDS; ++i) {
        e[i] = 0;
        d[i] = 0;
    }
    m_nKeyBits = 0;
}

} // namespace zk
