// Vector kernels in base B = 10^19: limb vectors are most significant limb first, every limb < 10^19 unless a
// kernel states otherwise. The kernels know nothing of signs or exponents, never report errors and allocate nothing.
#pragma once

#include <cstdint>

using u128 = unsigned __int128;

// ---- Fixed tables ----------------------------------------------------------------------------------------------
extern const uint64_t kPow10[20];                    // 10^0 .. 10^19
extern const uint64_t kPow10Reciprocal[20];          // floor(2^64 / 10^k) for k = 1..19, entry 0 holds 0
extern const uint8_t kDigitsByBitIndex[64];          // floor(b * log10 2) + 1
extern const uint64_t kSmallDivisorReciprocal[101];  // floor(2^(64 + floor(log2 d)) / d), 0 for powers of two, d < 3
inline constexpr uint64_t kSplitReciprocal = 0xEC1E4A7DB69561A5ull;  // floor(2^127 / 10^19)

// ---- Moves -----------------------------------------------------------------------------------------------------
void limbs_copy(uint64_t* dst, const uint64_t* src, int n);     // lowest index first
void limbs_move_up(uint64_t* dst, const uint64_t* src, int n);  // highest index first (dst above src)
void limbs_zero(uint64_t* dst, int n);

// ---- Word arithmetic -------------------------------------------------------------------------------------------
// x < 10^19 * 2^64: quotient floor(x / 10^19) and the remainder, by the reciprocal kSplitReciprocal.
uint64_t split_b(u128 x, uint64_t* remainder);

// floor(x / 10^k) for k in 0..19 and x mod 10^k, by the reciprocal table (inline: the digit shifts call it per limb).
inline uint64_t div_pow10(uint64_t x, int k, uint64_t* remainder) {
    if (k == 0) {
        *remainder = 0;
        return x;
    }
    const uint64_t p = kPow10[k];
    uint64_t q = static_cast<uint64_t>((static_cast<u128>(x) * kPow10Reciprocal[k]) >> 64);
    uint64_t r = x - q * p;
    if (r >= p) {
        r -= p;
        ++q;
    }
    *remainder = r;
    return q;
}

// floor((high * 2^64 + low) / d) for quotients that fit one word, with `reciprocal` as in
// kSmallDivisorReciprocal (0 when d is a power of two: then a shift and a mask).
uint64_t div_wide(uint64_t* remainder, uint64_t high, uint64_t low, uint64_t d, uint64_t reciprocal);

// 19 - (decimal digits of x); x = 0 counts as one digit (18); x >= 10^19 gives -1.
int leading_zero_digits(uint64_t x);

// floor(10^37 / x) for x in [10^18, 10^19).
uint64_t recip_seed(uint64_t x);

// ---- Vector arithmetic -----------------------------------------------------------------------------------------
// Largest n accepted by mul_limbs_reference, whose work area is a fixed array on the machine stack.
inline constexpr int kMulLimbsMax = 1024;

// Truncated product of the n-limb vectors a and b: the exact sum of the partial products a[i]*b[j] with
// i + j <= n + m - 2 (m clamped to n), whose top n limbs go to dst; returns the next limb (the guard).
// With m = n the n + 1 limbs are the exact top of the full product. dst may equal a or b.
uint64_t mul_limbs(int n, uint64_t* dst, const uint64_t* a, const uint64_t* b, int m);

// Literal transcription of the partial-product loop; the reference that mul_limbs must equal limb for limb.
uint64_t mul_limbs_reference(int n, uint64_t* dst, const uint64_t* a, const uint64_t* b, int m);

// dst = the n most significant limbs of the (n+1)-limb product src * w (dst[0] is the overflow limb, possibly 0);
// returns the least significant limb of the product. dst may equal src.
uint64_t mul_word(int n, uint64_t* dst, const uint64_t* src, uint64_t w);

// dst = floor(S / d) as n limbs (S the source as an integer); returns floor((S mod d) * 10^19 / d). d >= 1.
uint64_t div_word(int n, uint64_t* dst, const uint64_t* src, uint64_t d);

// As div_word applied to S * 10^19 with the first (zero) quotient limb dropped; requires d > src[0].
uint64_t div_word_shifted(int n, uint64_t* dst, const uint64_t* src, uint64_t d);

// ---- Extended-precision seeds (80-bit long double, 64-bit significand) ----------------------------------------
using ExtendedFloat = long double;

// Sets round-to-nearest, 64-bit precision, all exceptions masked; returns the previous x87 control word.
uint16_t extended_begin();
// Restores a control word saved by extended_begin and clears pending exceptions.
void extended_end(uint16_t saved_control);

ExtendedFloat extended_from_u64(uint64_t x);  // exact
ExtendedFloat extended_mul_u64(ExtendedFloat x, uint64_t y);
inline ExtendedFloat extended_mul(ExtendedFloat x, ExtendedFloat y) {
    return x * y;
}
ExtendedFloat extended_sqrt(ExtendedFloat x);
ExtendedFloat extended_pow(ExtendedFloat x, ExtendedFloat y);  // 2^(y * log2 x), split as described in the kernel
// Rounded half up by the first dropped bit; values below 1 or of 2^64 and above give 0.
uint64_t extended_to_u64(ExtendedFloat x);
