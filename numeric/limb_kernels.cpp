#include "numeric/limb_kernels.h"

#include <cstring>

#include "numeric/num_context.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr uint64_t kB = 10000000000000000000ull;

// ---- Word helpers --------------------------------------------------------------------------------------------

inline uint64_t hi64(u128 x) {
    return static_cast<uint64_t>(x >> 64);
}
inline uint64_t lo64(u128 x) {
    return static_cast<uint64_t>(x);
}
inline u128 make128(uint64_t high, uint64_t low) {
    return (static_cast<u128>(high) << 64) | low;
}

// Hardware 128-by-64 division; requires high < d so that the quotient fits one word.
inline uint64_t hw_div(uint64_t high, uint64_t low, uint64_t d, uint64_t* remainder) {
#if defined(__x86_64__)
    uint64_t q, r;
    __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(low), "d"(high), "rm"(d) : "cc");
    *remainder = r;
    return q;
#else
    const u128 x = make128(high, low);
    *remainder = static_cast<uint64_t>(x % d);
    return static_cast<uint64_t>(x / d);
#endif
}

// Quotient and remainder of x < 10^19 * 2^64 by 10^19. The estimate from the high product of the split reciprocal
// is at most two below the true quotient.
inline uint64_t split_b_inline(uint64_t high, uint64_t low, uint64_t* remainder) {
    const u128 t = static_cast<u128>(high) * kSplitReciprocal + hi64(static_cast<u128>(low) * kSplitReciprocal);
    uint64_t q = static_cast<uint64_t>(t >> 63);
    u128 r = make128(high, low) - static_cast<u128>(q) * kB;
    while (r >= kB) {
        r -= kB;
        ++q;
    }
    *remainder = lo64(r);
    return q;
}

// Small-divisor division through the reciprocal floor(2^(64+s) / d), s = floor(log2 d); x < d * 2^64.
// The estimate floor((x >> s) * v / 2^64) is at most three below the quotient.
inline uint64_t div_wide_inline(uint64_t* remainder, uint64_t high, uint64_t low, uint64_t d, uint64_t reciprocal) {
    const int s = 63 - __builtin_clzll(d);
    if (reciprocal == 0) {
        // d is a power of two
        *remainder = low & (d - 1);
        return s == 0 ? low : (low >> s) | (high << (64 - s));
    }
    // x >> s has at most 65 bits: xs_high is 0 or 1
    const uint64_t xs_low = s == 0 ? low : (low >> s) | (high << (64 - s));
    const uint64_t xs_high = s == 0 ? high : high >> s;
    uint64_t q = hi64(static_cast<u128>(xs_low) * reciprocal) + (xs_high != 0 ? reciprocal : 0);
    if (d < (uint64_t{1} << 61)) {
        uint64_t r = low - q * d;  // the true remainder is below 4d < 2^63, so the wrapped difference is exact
        while (r >= d) {
            r -= d;
            ++q;
        }
        *remainder = r;
        return q;
    }
    u128 r = make128(high, low) - static_cast<u128>(q) * d;
    while (r >= d) {
        r -= d;
        ++q;
    }
    *remainder = lo64(r);
    return q;
}

}  // namespace

// ---- Fixed tables ---------------------------------------------------------------------------------------------
// clang-format off

const uint64_t kPow10[20] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull,
    100000ull, 1000000ull, 10000000ull, 100000000ull, 1000000000ull,
    10000000000ull, 100000000000ull, 1000000000000ull, 10000000000000ull, 100000000000000ull,
    1000000000000000ull, 10000000000000000ull, 100000000000000000ull, 1000000000000000000ull, 10000000000000000000ull,
};

const uint64_t kPow10Reciprocal[20] = {
    0ull, 1844674407370955161ull, 184467440737095516ull, 18446744073709551ull, 1844674407370955ull,
    184467440737095ull, 18446744073709ull, 1844674407370ull, 184467440737ull, 18446744073ull,
    1844674407ull, 184467440ull, 18446744ull, 1844674ull, 184467ull,
    18446ull, 1844ull, 184ull, 18ull, 1ull,
};

const uint8_t kDigitsByBitIndex[64] = {
    1, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 4, 5, 5,
    5, 6, 6, 6, 7, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10,
    10, 10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 15,
    15, 15, 16, 16, 16, 16, 17, 17, 17, 18, 18, 18, 19, 19, 19, 19,
};

const uint64_t kSmallDivisorReciprocal[101] = {
    0, 0, 0, 0xAAAAAAAAAAAAAAAA, 0,  // d = 0..4
    0xCCCCCCCCCCCCCCCC, 0xAAAAAAAAAAAAAAAA, 0x9249249249249249, 0, 0xE38E38E38E38E38E,  // d = 5..9
    0xCCCCCCCCCCCCCCCC, 0xBA2E8BA2E8BA2E8B, 0xAAAAAAAAAAAAAAAA, 0x9D89D89D89D89D89, 0x9249249249249249,  // d = 10..14
    0x8888888888888888, 0, 0xF0F0F0F0F0F0F0F0, 0xE38E38E38E38E38E, 0xD79435E50D79435E,  // d = 15..19
    0xCCCCCCCCCCCCCCCC, 0xC30C30C30C30C30C, 0xBA2E8BA2E8BA2E8B, 0xB21642C8590B2164, 0xAAAAAAAAAAAAAAAA,  // d = 20..24
    0xA3D70A3D70A3D70A, 0x9D89D89D89D89D89, 0x97B425ED097B425E, 0x9249249249249249, 0x8D3DCB08D3DCB08D,  // d = 25..29
    0x8888888888888888, 0x8421084210842108, 0, 0xF83E0F83E0F83E0F, 0xF0F0F0F0F0F0F0F0,  // d = 30..34
    0xEA0EA0EA0EA0EA0E, 0xE38E38E38E38E38E, 0xDD67C8A60DD67C8A, 0xD79435E50D79435E, 0xD20D20D20D20D20D,  // d = 35..39
    0xCCCCCCCCCCCCCCCC, 0xC7CE0C7CE0C7CE0C, 0xC30C30C30C30C30C, 0xBE82FA0BE82FA0BE, 0xBA2E8BA2E8BA2E8B,  // d = 40..44
    0xB60B60B60B60B60B, 0xB21642C8590B2164, 0xAE4C415C9882B931, 0xAAAAAAAAAAAAAAAA, 0xA72F05397829CBC1,  // d = 45..49
    0xA3D70A3D70A3D70A, 0xA0A0A0A0A0A0A0A0, 0x9D89D89D89D89D89, 0x9A90E7D95BC609A9, 0x97B425ED097B425E,  // d = 50..54
    0x94F2094F2094F209, 0x9249249249249249, 0x8FB823EE08FB823E, 0x8D3DCB08D3DCB08D, 0x8AD8F2FBA9386822,  // d = 55..59
    0x8888888888888888, 0x864B8A7DE6D1D608, 0x8421084210842108, 0x8208208208208208, 0,  // d = 60..64
    0xFC0FC0FC0FC0FC0F, 0xF83E0F83E0F83E0F, 0xF4898D5F85BB3950, 0xF0F0F0F0F0F0F0F0, 0xED7303B5CC0ED730,  // d = 65..69
    0xEA0EA0EA0EA0EA0E, 0xE6C2B4481CD85689, 0xE38E38E38E38E38E, 0xE070381C0E070381, 0xDD67C8A60DD67C8A,  // d = 70..74
    0xDA740DA740DA740D, 0xD79435E50D79435E, 0xD4C77B03531DEC0D, 0xD20D20D20D20D20D, 0xCF6474A8819EC8E9,  // d = 75..79
    0xCCCCCCCCCCCCCCCC, 0xCA4587E6B74F0329, 0xC7CE0C7CE0C7CE0C, 0xC565C87B5F9D4D1B, 0xC30C30C30C30C30C,  // d = 80..84
    0xC0C0C0C0C0C0C0C0, 0xBE82FA0BE82FA0BE, 0xBC52640BC52640BC, 0xBA2E8BA2E8BA2E8B, 0xB81702E05C0B8170,  // d = 85..89
    0xB60B60B60B60B60B, 0xB40B40B40B40B40B, 0xB21642C8590B2164, 0xB02C0B02C0B02C0B, 0xAE4C415C9882B931,  // d = 90..94
    0xAC7691840AC76918, 0xAAAAAAAAAAAAAAAA, 0xA8E83F5717C0A8E8, 0xA72F05397829CBC1, 0xA57EB50295FAD40A,  // d = 95..99
    0xA3D70A3D70A3D70A,  // d = 100
};

// clang-format on

// ---- Moves -----------------------------------------------------------------------------------------------------

#if defined(__x86_64__)
namespace {

__attribute__((target("avx"))) void limbs_copy_wide(uint64_t* dst, const uint64_t* src, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
    }
    for (; i < n; ++i) dst[i] = src[i];
}

__attribute__((target("avx"))) void limbs_move_up_wide(uint64_t* dst, const uint64_t* src, int n) {
    int i = n;
    for (; i >= 4; i -= 4) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i - 4));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i - 4), v);
    }
    for (; i > 0; --i) dst[i - 1] = src[i - 1];
}

__attribute__((target("avx"))) void limbs_zero_wide(uint64_t* dst, int n) {
    const __m256i z = _mm256_setzero_si256();
    int i = 0;
    for (; i + 4 <= n; i += 4) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), z);
    for (; i < n; ++i) dst[i] = 0;
}

}  // namespace
#endif

void limbs_copy(uint64_t* dst, const uint64_t* src, int n) {
#if defined(__x86_64__)
    if (has_wide_moves && n >= 4) {
        limbs_copy_wide(dst, src, n);
        return;
    }
#endif
    for (int i = 0; i < n; ++i) dst[i] = src[i];
}

void limbs_move_up(uint64_t* dst, const uint64_t* src, int n) {
#if defined(__x86_64__)
    if (has_wide_moves && n >= 4) {
        limbs_move_up_wide(dst, src, n);
        return;
    }
#endif
    for (int i = n - 1; i >= 0; --i) dst[i] = src[i];
}

void limbs_zero(uint64_t* dst, int n) {
#if defined(__x86_64__)
    if (has_wide_moves && n >= 4) {
        limbs_zero_wide(dst, n);
        return;
    }
#endif
    for (int i = 0; i < n; ++i) dst[i] = 0;
}

// ---- Word arithmetic -------------------------------------------------------------------------------------------

uint64_t split_b(u128 x, uint64_t* remainder) {
    return split_b_inline(hi64(x), lo64(x), remainder);
}

uint64_t div_wide(uint64_t* remainder, uint64_t high, uint64_t low, uint64_t d, uint64_t reciprocal) {
    return div_wide_inline(remainder, high, low, d, reciprocal);
}

int leading_zero_digits(uint64_t x) {
    const int b = x == 0 ? 0 : 63 - __builtin_clzll(x);
    int digits = kDigitsByBitIndex[b];
    if (x >= kPow10[digits]) ++digits;
    return 19 - digits;
}

uint64_t recip_seed(uint64_t x) {
    // 10^37 = high * 2^64 + low with high < 10^18 <= x, so the quotient fits one word
    constexpr u128 kTen37 = static_cast<u128>(kB / 10) * kB;
    uint64_t r;
    return hw_div(hi64(kTen37), lo64(kTen37), x, &r);
}

// ---- Vector arithmetic -----------------------------------------------------------------------------------------

uint64_t mul_limbs_reference(int n, uint64_t* dst, const uint64_t* a, const uint64_t* b, int m) {
    if (m > n) m = n;
    uint64_t work[2 * kMulLimbsMax + 4];
    const int w = (n + m + 3) & ~3;
    for (int p = 0; p < w; ++p) work[p] = 0;
    for (int j = n - 1; j >= 0; --j) {
        uint64_t carry = 0;
        int i = n + m - 2 - j;
        if (i > n - 1) i = n - 1;
        for (; i >= 0; --i) {
            const u128 t = static_cast<u128>(a[i]) * b[j] + carry + work[i + j + 1];
            uint64_t r;
            carry = split_b(t, &r);
            work[i + j + 1] = r;
        }
        work[j] = carry;
    }
    for (int p = 0; p < n; ++p) dst[p] = work[p];
    return work[n];
}

namespace {

// Column sums of the truncated product: every partial product a[i]*b[j] with i + j <= n + m - 2 lands in column
// k = i + j, whose exact sum (below n * 10^38 < 2^136) is kept in three words. Column k carries weight
// 10^(19 * (n + m - 2 - k)), so the columns are folded into base 10^19 from k = n + m - 2 upward: column k plus the
// incoming carry gives limb k + 1 (remainder) and the carry into column k - 1 (quotient). This yields the digits
// of the exact sum of the included products, which is what the row-by-row rule computes. Limbs above index n are
// not stored; a limb written at index k + 1 is never read again by columns below k, so dst may equal a or b.
__attribute__((noinline)) uint64_t mul_limbs_columns(int n, uint64_t* dst, const uint64_t* a, const uint64_t* b,
                                                     int m) {
    uint64_t guard = 0;
    uint64_t carry_low = 0, carry_high = 0;  // carry into the current column, below 2^74
    for (int k = n + m - 2; k >= 0; --k) {
        uint64_t s0 = carry_low, s1 = carry_high, s2 = 0;
        const int i_low = k > n - 1 ? k - (n - 1) : 0;
        const int i_high = k < n - 1 ? k : n - 1;
        const uint64_t* ai = a + i_low;
        const uint64_t* bj = b + (k - i_low);
        int count = i_high - i_low + 1;
        // three products sum to less than 3 * 10^38 < 2^128, so a triple is added with one carry into s2
        for (; count >= 3; count -= 3, ai += 3, bj -= 3) {
            const u128 p = static_cast<u128>(ai[0]) * bj[0] + static_cast<u128>(ai[1]) * bj[-1] +
                           static_cast<u128>(ai[2]) * bj[-2];
            const u128 s = make128(s1, s0) + p;
            s2 += s < p;
            s0 = lo64(s);
            s1 = hi64(s);
        }
        if (count != 0) {
            u128 p = static_cast<u128>(ai[0]) * bj[0];
            if (count == 2) p += static_cast<u128>(ai[1]) * bj[-1];
            const u128 s = make128(s1, s0) + p;
            s2 += s < p;
            s0 = lo64(s);
            s1 = hi64(s);
        }
        // (s2, s1, s0) / 10^19: s2 < 2^8, so two word-by-word splits, or one when the sum is below 10^19 * 2^64
        uint64_t r0;
        if (s2 == 0 && s1 < kB) {
            carry_high = 0;
            carry_low = split_b_inline(s1, s0, &r0);
        } else {
            uint64_t r1;
            carry_high = split_b_inline(s2, s1, &r1);
            carry_low = split_b_inline(r1, s0, &r0);
        }
        const int pos = k + 1;
        if (pos == n) {
            guard = r0;
        } else if (pos < n) {
            dst[pos] = r0;
        }
    }
    dst[0] = carry_low;  // the whole sum is below 10^(19 (n + m)), so the last carry is one limb
    return guard;
}

// ---- Subquadratic truncated product -----------------------------------------------------------------------------
// Here vectors are stored least significant limb first, x = sum of x[k] B^k. In that order the truncated product
// of mul_limbs is S = sum of x[k] y[l] B^(k+l-c) over k + l >= c with c = n - m. The region k + l >= c splits at
// h = ceil(c/2) into the full square k, l >= h, two smaller regions of the same kind (k >= h > l and l >= h > k,
// each with threshold c - h) and nothing below (k, l < h gives k + l <= 2h - 2 < c). Full squares are multiplied
// by Karatsuba. Every piece is kept as column sums: a vector of signed 192-bit columns C with value
// sum of C[k] B^k, where any such vector standing for the right integer will do. Only the operands of the
// Karatsuba middle product, |x1 - x0| and |y1 - y0|, are formed as proper limbs; the columns are folded into
// limbs once, at the end, so the digits are those of the exact sum, as with the column rule.

// Crossovers measured on the m = 2 product of real_mul: the split pays from about 300 limbs on.
constexpr int kKaratsubaMinLimbs = 48;  // squares below this use column sums
constexpr int kRegionMinLimbs = 160;    // regions narrower than this use column sums
constexpr int kFastMulMinLimbs = 300;   // mul_limbs below this length keeps to the column rule
constexpr int kFastMulMaxLimbs = 528;   // stack arrays of the fast path are sized for this length

// A signed 192-bit column sum in two's complement. Leaf columns are below 2^137 and each Karatsuba level at most
// quadruples them, so magnitudes stay far below 2^160.
struct Column {
    uint64_t w0, w1, w2;
};

inline void column_add(Column& c, const Column& d) {
    const u128 low = make128(c.w1, c.w0) + make128(d.w1, d.w0);
    c.w2 += d.w2 + (low < make128(d.w1, d.w0));
    c.w0 = lo64(low);
    c.w1 = hi64(low);
}

inline void column_sub(Column& c, const Column& d) {
    const u128 x = make128(c.w1, c.w0), y = make128(d.w1, d.w0);
    c.w2 -= d.w2 + (x < y);
    const u128 low = x - y;
    c.w0 = lo64(low);
    c.w1 = hi64(low);
}

// start + column k of x * y restricted to indices i in [i_low, i_high] (x[i] y[k - i]); the column is below 2^137.
inline Column column_sum(Column start, const uint64_t* x, const uint64_t* y, int k, int i_low, int i_high) {
    uint64_t s0 = start.w0, s1 = start.w1, s2 = start.w2;
    const uint64_t* xi = x + i_low;
    const uint64_t* yj = y + (k - i_low);
    int count = i_high - i_low + 1;
    // three products sum to less than 3 * 10^38 < 2^128, so a triple is added with one carry into s2
    for (; count >= 3; count -= 3, xi += 3, yj -= 3) {
        const u128 p =
            static_cast<u128>(xi[0]) * yj[0] + static_cast<u128>(xi[1]) * yj[-1] + static_cast<u128>(xi[2]) * yj[-2];
        const u128 t = make128(s1, s0) + p;
        s2 += t < p;
        s0 = lo64(t);
        s1 = hi64(t);
    }
    if (count != 0) {
        u128 p = static_cast<u128>(xi[0]) * yj[0];
        if (count == 2) p += static_cast<u128>(xi[1]) * yj[-1];
        const u128 t = make128(s1, s0) + p;
        s2 += t < p;
        s0 = lo64(t);
        s1 = hi64(t);
    }
    return {s0, s1, s2};
}

// C[k] += column k of x * y for every k >= c (c may be <= 0).
void columns_addmul(Column* cols, const uint64_t* x, int nx, const uint64_t* y, int ny, int c) {
    for (int k = c > 0 ? c : 0; k <= nx + ny - 2; ++k) {
        const int i_low = k > ny - 1 ? k - (ny - 1) : 0;
        const int i_high = k < nx - 1 ? k : nx - 1;
        cols[k] = column_sum(cols[k], x, y, k, i_low, i_high);
    }
}

// r[0..n) = x - y - borrow on proper limbs; returns the borrow out.
inline uint64_t lsf_sub(uint64_t* r, const uint64_t* x, const uint64_t* y, int n, uint64_t borrow) {
    for (int i = 0; i < n; ++i) {
        const uint64_t t = y[i] + borrow;  // at most 10^19
        borrow = x[i] < t;
        r[i] = x[i] - t + (kB & (0 - borrow));  // without a branch: the borrow is unpredictable
    }
    return borrow;
}

// r = |x - y| for x of nx limbs and y of ny <= nx limbs (y zero-extended); returns true when x < y.
bool lsf_abs_diff(uint64_t* r, const uint64_t* x, int nx, const uint64_t* y, int ny) {
    int i = nx - 1;
    while (i >= ny && x[i] == 0) --i;
    bool x_smaller = false;
    if (i < ny) {
        while (i >= 0 && x[i] == y[i]) --i;
        x_smaller = i >= 0 && x[i] < y[i];
    }
    if (x_smaller) {
        lsf_sub(r, y, x, ny, 0);
        for (int k = ny; k < nx; ++k) r[k] = 0;  // x's limbs above ny are zero here
        return true;
    }
    uint64_t borrow = lsf_sub(r, x, y, ny, 0);
    for (int k = ny; k < nx; ++k) {
        r[k] = x[k] - borrow + (kB & (0 - static_cast<uint64_t>(x[k] < borrow)));
        borrow = x[k] < borrow;
    }
    return false;
}

// Work areas of the recursion: columns and limbs taken in order and given back on return.
struct MulWork {
    Column* columns;
    uint64_t* limbs;
};

// cols[0..2s-1) = the columns of x * y for s-limb x and y. With h = floor(s/2), x = x1 B^h + x0 and likewise y:
// x0 y1 + x1 y0 = x0 y0 + x1 y1 - (x1 - x0)(y1 - y0). Takes 4s columns and 2s limbs of work in all.
void columns_karatsuba(Column* cols, const uint64_t* x, const uint64_t* y, int s, MulWork work) {
    if (s < kKaratsubaMinLimbs) {
        for (int k = 0; k <= 2 * s - 2; ++k) {
            const int i_low = k > s - 1 ? k - (s - 1) : 0;
            const int i_high = k < s - 1 ? k : s - 1;
            cols[k] = column_sum(Column{0, 0, 0}, x, y, k, i_low, i_high);
        }
        return;
    }
    const int h = s / 2, hs = s - h;
    columns_karatsuba(cols, x, y, h, work);
    cols[2 * h - 1] = Column{0, 0, 0};
    columns_karatsuba(cols + 2 * h, x + h, y + h, hs, work);
    Column* mid = work.columns;
    Column* d = mid + (2 * hs - 1);
    uint64_t* dx = work.limbs;
    uint64_t* dy = dx + hs;
    const bool x_negative = lsf_abs_diff(dx, x + h, hs, x, h);
    const bool y_negative = lsf_abs_diff(dy, y + h, hs, y, h);
    columns_karatsuba(d, dx, dy, hs, MulWork{d + (2 * hs - 1), dy + hs});
    for (int i = 0; i < 2 * hs - 1; ++i) {
        mid[i] = cols[2 * h + i];
        if (i < 2 * h - 1) column_add(mid[i], cols[i]);
        if (x_negative == y_negative) {
            column_sub(mid[i], d[i]);
        } else {
            column_add(mid[i], d[i]);
        }
    }
    for (int i = 0; i < 2 * hs - 1; ++i) column_add(cols[h + i], mid[i]);
}

// cols[k] += the columns of the full product x * y, for any lengths >= 1.
void columns_addmul_full(Column* cols, const uint64_t* x, int nx, const uint64_t* y, int ny, MulWork work) {
    if (nx < ny) {
        const uint64_t* t = x;
        x = y;
        y = t;
        const int tn = nx;
        nx = ny;
        ny = tn;
    }
    if (ny < kKaratsubaMinLimbs) {
        columns_addmul(cols, x, nx, y, ny, 0);
        return;
    }
    int offset = 0;
    for (; nx - offset >= ny; offset += ny) {
        Column* product = work.columns;
        columns_karatsuba(product, x + offset, y, ny, MulWork{product + (2 * ny - 1), work.limbs});
        for (int i = 0; i < 2 * ny - 1; ++i) column_add(cols[offset + i], product[i]);
    }
    if (offset < nx) columns_addmul_full(cols + offset, x + offset, nx - offset, y, ny, work);
}

// cols[k] += the columns of the sum of x[k] y[l] B^(k+l) over k < nx, l < ny, k + l >= c.
void columns_addmul_region(Column* cols, const uint64_t* x, int nx, const uint64_t* y, int ny, int c, MulWork work) {
    if (c > nx + ny - 2) return;
    if (c <= 0) {
        columns_addmul_full(cols, x, nx, y, ny, work);
        return;
    }
    const int h = (c + 1) / 2;
    if (nx < kRegionMinLimbs || ny < kRegionMinLimbs || h >= nx || h >= ny) {
        columns_addmul(cols, x, nx, y, ny, c);
        return;
    }
    columns_addmul_full(cols + 2 * h, x + h, nx - h, y + h, ny - h, work);
    columns_addmul_region(cols + h, x + h, nx - h, y, h, c - h, work);
    columns_addmul_region(cols + h, x, h, y + h, ny - h, c - h, work);
}

// Folds the columns cols[first..last] into limbs (written over digits[first..last+1]) from the lowest up. A signed
// column plus the signed carry is offset by B 2^100, which exceeds its magnitude, so that the split by B works on a
// non-negative value; the offset comes back out of the quotient.
void columns_fold(uint64_t* digits, const Column* cols, int first, int last) {
    constexpr u128 kOffset = static_cast<u128>(kB) << 36;  // B 2^100 in words 1 and 2
    uint64_t carry_low = 0, carry_high = 0;                // signed 128-bit carry
    for (int k = first; k <= last; ++k) {
        Column v = cols[k];
        column_add(v, Column{carry_low, carry_high, static_cast<uint64_t>(static_cast<int64_t>(carry_high) >> 63)});
        column_add(v, Column{0, lo64(kOffset), hi64(kOffset)});
        uint64_t r1, r0;
        const uint64_t q_high = split_b_inline(v.w2, v.w1, &r1);
        carry_low = split_b_inline(r1, v.w0, &r0);
        carry_high = q_high - (uint64_t{1} << 36);
        digits[k] = r0;
    }
    digits[last + 1] = carry_low;  // the sum fits, so the last carry is one non-negative limb
}

// The truncated product by the region split; n <= kFastMulMaxLimbs and 2m <= n, so that no full square exceeds
// 3n/4 limbs, which bounds the work areas (about 110 KiB of machine stack at n = 528).
__attribute__((noinline)) uint64_t mul_limbs_split(int n, uint64_t* dst, const uint64_t* a, const uint64_t* b, int m) {
    uint64_t x[kFastMulMaxLimbs], y[kFastMulMaxLimbs], digits[2 * kFastMulMaxLimbs];
    Column cols[2 * kFastMulMaxLimbs];
    Column work_columns[5 * kFastMulMaxLimbs];
    uint64_t work_limbs[2 * kFastMulMaxLimbs];
    for (int i = 0; i < n; ++i) {
        x[i] = a[n - 1 - i];
        y[i] = b[n - 1 - i];
    }
    const int c = n - m;
    for (int k = c; k <= 2 * n - 2; ++k) cols[k] = Column{0, 0, 0};
    columns_addmul_region(cols, x, n, y, n, c, MulWork{work_columns, work_limbs});
    columns_fold(digits, cols, c, 2 * n - 2);
    // S = digits[c ..], n + m limbs: dst takes the top n, the guard is the next one
    for (int p = 0; p < n; ++p) dst[p] = digits[c + n + m - 1 - p];
    return digits[c + m - 1];
}

}  // namespace

uint64_t mul_limbs(int n, uint64_t* dst, const uint64_t* a, const uint64_t* b, int m) {
    if (m > n) m = n;
    if (n >= kFastMulMinLimbs && n <= kFastMulMaxLimbs && 2 * m <= n) return mul_limbs_split(n, dst, a, b, m);
    return mul_limbs_columns(n, dst, a, b, m);
}

uint64_t mul_word(int n, uint64_t* dst, const uint64_t* src, uint64_t w) {
    uint64_t carry = 0;
    uint64_t lowest = 0;
    for (int i = n - 1; i >= 0; --i) {
        const u128 t = static_cast<u128>(src[i]) * w + carry;
        uint64_t r;
        carry = split_b_inline(hi64(t), lo64(t), &r);
        if (i == n - 1) {
            lowest = r;
        } else {
            dst[i + 1] = r;
        }
    }
    dst[0] = carry;
    return lowest;
}

uint64_t div_word(int n, uint64_t* dst, const uint64_t* src, uint64_t d) {
    uint64_t r = 0;
    if (d <= 100) {
        const uint64_t v = kSmallDivisorReciprocal[d];
        for (int i = 0; i < n; ++i) {
            const u128 t = static_cast<u128>(r) * kB + src[i];
            dst[i] = div_wide_inline(&r, hi64(t), lo64(t), d, v);
        }
        const u128 t = static_cast<u128>(r) * kB;
        return div_wide_inline(&r, hi64(t), lo64(t), d, v);
    }
    for (int i = 0; i < n; ++i) {
        const u128 t = static_cast<u128>(r) * kB + src[i];
        dst[i] = hw_div(hi64(t), lo64(t), d, &r);
    }
    const u128 t = static_cast<u128>(r) * kB;
    return hw_div(hi64(t), lo64(t), d, &r);
}

uint64_t div_word_shifted(int n, uint64_t* dst, const uint64_t* src, uint64_t d) {
    uint64_t r = src[0];
    for (int k = 0; k + 1 < n; ++k) {
        const u128 t = static_cast<u128>(r) * kB + src[k + 1];
        dst[k] = hw_div(hi64(t), lo64(t), d, &r);
    }
    u128 t = static_cast<u128>(r) * kB;
    dst[n - 1] = hw_div(hi64(t), lo64(t), d, &r);
    t = static_cast<u128>(r) * kB;
    return hw_div(hi64(t), lo64(t), d, &r);
}

// ---- Extended-precision seeds ----------------------------------------------------------------------------------

uint16_t extended_begin() {
    uint16_t saved = 0;
#if defined(__x86_64__)
    __asm__ volatile("fnstcw %0" : "=m"(saved));
    // exception masks (bits 0-5) set, precision control 11 (64-bit significand), rounding control 00 (nearest)
    uint16_t control = static_cast<uint16_t>((saved & ~0x0F3Fu) | 0x033Fu);
    __asm__ volatile("fldcw %0" : : "m"(control));
#endif
    return saved;
}

void extended_end(uint16_t saved_control) {
#if defined(__x86_64__)
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(saved_control));
#else
    (void)saved_control;
#endif
}

// A word below 2^63 is loaded as a signed integer (exact under any precision control); a word with the top bit set
// is stored directly as the significand with exponent 63, avoiding the rounded addition of 2^64.
ExtendedFloat extended_from_u64(uint64_t x) {
    if ((x >> 63) == 0) return static_cast<ExtendedFloat>(static_cast<int64_t>(x));
#if defined(__x86_64__)
    const uint16_t sign_exponent = 16383 + 63;
    unsigned char bytes[sizeof(ExtendedFloat)] = {};
    std::memcpy(bytes, &x, 8);
    std::memcpy(bytes + 8, &sign_exponent, 2);
    ExtendedFloat r;
    std::memcpy(&r, bytes, sizeof bytes);
    return r;
#else
    return static_cast<ExtendedFloat>(x);
#endif
}

ExtendedFloat extended_mul_u64(ExtendedFloat x, uint64_t y) {
    return x * extended_from_u64(y);
}

ExtendedFloat extended_sqrt(ExtendedFloat x) {
#if defined(__x86_64__)
    __asm__("fsqrt" : "+t"(x));
    return x;
#else
    return __builtin_sqrtl(x);
#endif
}

ExtendedFloat extended_pow(ExtendedFloat x, ExtendedFloat y) {
#if defined(__x86_64__)
    ExtendedFloat t;
    __asm__("fyl2x" : "=t"(t) : "0"(x), "u"(y) : "st(1)");  // y * log2 x
    const ExtendedFloat whole = __builtin_truncl(t);
    ExtendedFloat f = t - whole;  // |f| < 1, the domain of f2xm1
    __asm__("f2xm1" : "+t"(f));
    f += 1.0L;
    ExtendedFloat r;
    __asm__("fscale" : "=t"(r) : "0"(f), "u"(whole));
    return r;
#else
    const ExtendedFloat t = y * __builtin_log2l(x);
    const ExtendedFloat whole = __builtin_truncl(t);
    return __builtin_ldexpl(__builtin_expm1l((t - whole) * 0.693147180559945309417232121458176568L) + 1.0L,
                            static_cast<int>(whole));
#endif
}

uint64_t extended_to_u64(ExtendedFloat x) {
    if (!(x >= 1.0L) || x >= 18446744073709551616.0L) return 0;
    // x87 extended layout: 64-bit significand with explicit leading bit, then sign and 15-bit biased exponent
    unsigned char bytes[sizeof(ExtendedFloat)];
    std::memcpy(bytes, &x, sizeof bytes);
    uint64_t significand;
    uint16_t sign_exponent;
    std::memcpy(&significand, bytes, 8);
    std::memcpy(&sign_exponent, bytes + 8, 2);
    const int e = (sign_exponent & 0x7FFF) - 16383;  // 0 <= e <= 63 here
    if (e == 63) return significand;
    const int drop = 63 - e;
    return (significand >> drop) + ((significand >> (drop - 1)) & 1);
}
