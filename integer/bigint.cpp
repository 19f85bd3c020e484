#include "integer/bigint.h"

#include <cmath>

#include "numeric/limb_kernels.h"
#include "numeric/num_context.h"

namespace {

// ---- Word spans ------------------------------------------------------------------------------------------------
// The routines below work on spans of words (least significant first) with explicit lengths, so that they can run
// on the significant words only and on products twice the width. None of them reports errors.

inline int width() {
    return num_ctx.int_limbs;
}

inline int sig_words(const uint64_t* a, int n) {
    while (n > 0 && a[n - 1] == 0) --n;
    return n;
}

inline int word_bit_length(uint64_t x) {
    return x == 0 ? 0 : 64 - __builtin_clzll(x);
}

inline uint64_t words_bit_length(const uint64_t* a, int n) {
    n = sig_words(a, n);
    return n == 0 ? 0 : static_cast<uint64_t>(n - 1) * 64 + word_bit_length(a[n - 1]);
}

// Compares a and b given by their significant lengths.
int words_compare(const uint64_t* a, int na, const uint64_t* b, int nb) {
    if (na != nb) return na < nb ? -1 : 1;
    for (int i = na - 1; i >= 0; --i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

inline void words_copy(uint64_t* dst, const uint64_t* src, int n) {
    if (n > 0 && dst != src) limbs_copy(dst, src, n);
}

inline void words_zero(uint64_t* dst, int n) {
    if (n > 0) limbs_zero(dst, n);
}

// floor((hi * 2^64 + lo) / d) for hi < d, and the remainder.
inline uint64_t div_2by1(uint64_t hi, uint64_t lo, uint64_t d, uint64_t* rem) {
#if defined(__x86_64__)
    uint64_t q, r;
    __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
    *rem = r;
    return q;
#else
    const u128 n = (static_cast<u128>(hi) << 64) | lo;
    const uint64_t q = static_cast<uint64_t>(n / d);
    *rem = lo - q * d;
    return q;
#endif
}

// r[0..na+nb) = a * b; r overlaps neither operand; na, nb >= 1.
void words_mul(uint64_t* r, const uint64_t* a, int na, const uint64_t* b, int nb) {
    uint64_t carry = 0;
    const uint64_t a0 = a[0];
    for (int j = 0; j < nb; ++j) {
        const u128 t = static_cast<u128>(a0) * b[j] + carry;
        r[j] = static_cast<uint64_t>(t);
        carry = static_cast<uint64_t>(t >> 64);
    }
    r[nb] = carry;
    for (int i = 1; i < na; ++i) {
        const uint64_t ai = a[i];
        uint64_t* ri = r + i;
        carry = 0;
        for (int j = 0; j < nb; ++j) {
            const u128 t = static_cast<u128>(ai) * b[j] + ri[j] + carry;
            ri[j] = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
        ri[nb] = carry;
    }
}

// r[0..2n) = a^2; r does not overlap a; n >= 1. The products a_i*a_j with i < j are formed once and doubled.
void words_sqr(uint64_t* r, const uint64_t* a, int n) {
    words_zero(r, 2 * n);
    for (int i = 0; i + 1 < n; ++i) {
        const uint64_t ai = a[i];
        uint64_t carry = 0;
        for (int j = i + 1; j < n; ++j) {
            const u128 t = static_cast<u128>(ai) * a[j] + r[i + j] + carry;
            r[i + j] = static_cast<uint64_t>(t);
            carry = static_cast<uint64_t>(t >> 64);
        }
        r[i + n] = carry;
    }
    uint64_t top = 0;
    for (int i = 0; i < 2 * n; ++i) {
        const uint64_t x = r[i];
        r[i] = (x << 1) | top;
        top = x >> 63;
    }
    uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const u128 sq = static_cast<u128>(a[i]) * a[i];
        u128 t = static_cast<u128>(r[2 * i]) + static_cast<uint64_t>(sq) + carry;
        r[2 * i] = static_cast<uint64_t>(t);
        t = static_cast<u128>(r[2 * i + 1]) + static_cast<uint64_t>(sq >> 64) + static_cast<uint64_t>(t >> 64);
        r[2 * i + 1] = static_cast<uint64_t>(t);
        carry = static_cast<uint64_t>(t >> 64);
    }
}

// ---- Karatsuba product ------------------------------------------------------------------------------------------

constexpr int kKaratsubaMinWords = 24;  // measured crossover against the schoolbook product

// Work words the Karatsuba product of n-word factors takes: 6 ceil(n/2) + 1 per level, for levels down to the
// crossover.
size_t karatsuba_work_words(int n) {
    size_t words = 0;
    while (n >= kKaratsubaMinWords) {
        const int hs = n - n / 2;
        words += 6 * static_cast<size_t>(hs) + 1;
        n = hs;
    }
    return words;
}

// r[0..n) = x + y + carry; returns the carry out.
inline uint64_t words_add_n(uint64_t* r, const uint64_t* x, const uint64_t* y, int n, uint64_t carry) {
    for (int i = 0; i < n; ++i) {
        const u128 t = static_cast<u128>(x[i]) + y[i] + carry;
        r[i] = static_cast<uint64_t>(t);
        carry = static_cast<uint64_t>(t >> 64);
    }
    return carry;
}

// r[0..n) = x - y - borrow; returns the borrow out.
inline uint64_t words_sub_n(uint64_t* r, const uint64_t* x, const uint64_t* y, int n, uint64_t borrow) {
    for (int i = 0; i < n; ++i) {
        const uint64_t t = x[i] - y[i];
        const uint64_t b1 = x[i] < y[i];
        r[i] = t - borrow;
        borrow = b1 | (t < borrow);
    }
    return borrow;
}

// r = |x - y| for x of nx words and y of ny <= nx words (y zero-extended); returns true when x < y.
bool words_abs_diff(uint64_t* r, const uint64_t* x, int nx, const uint64_t* y, int ny) {
    int i = nx - 1;
    while (i >= ny && x[i] == 0) --i;
    bool x_smaller = false;
    if (i < ny) {
        while (i >= 0 && x[i] == y[i]) --i;
        x_smaller = i >= 0 && x[i] < y[i];
    }
    if (x_smaller) {
        words_sub_n(r, y, x, ny, 0);
        words_zero(r + ny, nx - ny);  // x's words above ny are zero here
        return true;
    }
    uint64_t borrow = words_sub_n(r, x, y, ny, 0);
    for (int k = ny; k < nx; ++k) {
        r[k] = x[k] - borrow;
        borrow = x[k] < borrow;
    }
    return false;
}

// r[0..2n) = x * y (a square when x == y); r overlaps neither factor. With h = floor(n/2), x = x1 2^(64h) + x0:
// x0 y1 + x1 y0 = x0 y0 + x1 y1 - (x1 - x0)(y1 - y0). work holds karatsuba_work_words(n) words.
void words_karatsuba(uint64_t* r, const uint64_t* x, const uint64_t* y, int n, uint64_t* work) {
    const bool square = x == y;
    if (n < kKaratsubaMinWords) {
        if (square) {
            words_sqr(r, x, n);
        } else {
            words_mul(r, x, n, y, n);
        }
        return;
    }
    const int h = n / 2, hs = n - h;
    words_karatsuba(r, x, y, h, work);
    words_karatsuba(r + 2 * h, x + h, square ? x + h : y + h, hs, work);
    uint64_t* dx = work;
    uint64_t* dy = dx + hs;
    uint64_t* t = dy + hs;
    uint64_t* mid = t + 2 * hs;
    const bool x_negative = words_abs_diff(dx, x + h, hs, x, h);
    const bool y_negative = square ? x_negative : words_abs_diff(dy, y + h, hs, y, h);
    words_karatsuba(t, dx, square ? dx : dy, hs, mid + 2 * hs + 1);
    // mid = x0 y0 + x1 y1 -+ t, at most 2^(128 hs + 1): 2hs + 1 words
    uint64_t carry = words_add_n(mid, r + 2 * h, r, 2 * h, 0);
    for (int i = 2 * h; i < 2 * hs; ++i) {
        mid[i] = r[2 * h + i] + carry;
        carry = mid[i] < carry;
    }
    mid[2 * hs] = carry;
    if (x_negative == y_negative) {
        mid[2 * hs] -= words_sub_n(mid, mid, t, 2 * hs, 0);
    } else {
        mid[2 * hs] += words_add_n(mid, mid, t, 2 * hs, 0);
    }
    // r[h..2n) += mid; the full product fits 2n words, so the carry dies out inside
    carry = words_add_n(r + h, r + h, mid, 2 * hs + 1, 0);
    for (int i = h + 2 * hs + 1; carry != 0 && i < 2 * n; ++i) {
        r[i] += carry;
        carry = r[i] == 0;
    }
}

// Product of significant spans into r (capacity na + nb); returns the significant length of the product. Factors
// of at least kKaratsubaMinWords words are multiplied by Karatsuba on square blocks when the work area fits the
// scratch stack with room to spare; otherwise, and for shorter factors, by the schoolbook loops.
int words_mul_sig(uint64_t* r, const uint64_t* a, int na, const uint64_t* b, int nb) {
    if (na == 0 || nb == 0) return 0;
    if (na < nb) {
        const uint64_t* t = a;
        a = b;
        b = t;
        const int tn = na;
        na = nb;
        nb = tn;
    }
    const bool square = a == b && na == nb;
    const size_t work_words = 2 * static_cast<size_t>(nb) + karatsuba_work_words(nb);
    const size_t scratch_left =
        num_ctx.scratch_base == nullptr
            ? 0
            : static_cast<size_t>(num_ctx.scratch_base + kScratchBytes - num_ctx.scratch_top) / 8;
    if (nb < kKaratsubaMinWords || work_words + 1024 > scratch_left) {
        if (square) {
            words_sqr(r, a, na);
        } else {
            words_mul(r, a, na, b, nb);
        }
        return sig_words(r, na + nb);
    }
    ScratchFrame frame;
    uint64_t* block = scratch_take(work_words);
    uint64_t* work = block + 2 * nb;
    // r = a * b by blocks of nb words of a, each product added in at its offset
    words_karatsuba(r, a, b, nb, work);
    words_zero(r + 2 * nb, na - nb);
    for (int offset = nb; offset < na; offset += nb) {
        const int len = na - offset < nb ? na - offset : nb;
        if (len == nb) {
            words_karatsuba(block, a + offset, b, nb, work);
        } else {
            words_mul(block, b, nb, a + offset, len);
        }
        // the words of r above offset + nb are still zero; the sum fits na + nb words, so no carry leaves it
        words_add_n(r + offset, r + offset, block, nb + len, 0);
    }
    return sig_words(r, na + nb);
}

// a[0..n) *= w; returns the carry word.
inline uint64_t words_mul_word(uint64_t* r, const uint64_t* a, int n, uint64_t w) {
    uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const u128 t = static_cast<u128>(a[i]) * w + carry;
        r[i] = static_cast<uint64_t>(t);
        carry = static_cast<uint64_t>(t >> 64);
    }
    return carry;
}

// q = a / d from the top word down (q may be a or null); returns the remainder. d != 0.
uint64_t words_divrem_word(uint64_t* q, const uint64_t* a, int n, uint64_t d) {
    uint64_t rem = 0;
    for (int i = n - 1; i >= 0; --i) {
        const uint64_t ai = a[i];
        if (rem == 0 && ai < d) {
            if (q != nullptr) q[i] = 0;
            rem = ai;
            continue;
        }
        const uint64_t qi = div_2by1(rem, ai, d, &rem);
        if (q != nullptr) q[i] = qi;
    }
    return rem;
}

// Shifts a[0..n) left by s bits (0 < s < 64) in place; returns the bits shifted out.
inline uint64_t words_shl(uint64_t* a, int n, int s) {
    uint64_t out = 0;
    for (int i = 0; i < n; ++i) {
        const uint64_t x = a[i];
        a[i] = (x << s) | out;
        out = x >> (64 - s);
    }
    return out;
}

// Shifts a[0..n) right by s bits (0 < s < 64) in place.
inline void words_shr(uint64_t* a, int n, int s) {
    for (int i = 0; i + 1 < n; ++i) a[i] = (a[i] >> s) | (a[i + 1] << (64 - s));
    if (n > 0) a[n - 1] >>= s;
}

// Long division of u (nu words, capacity nu + 1) by v (nv significant words, v[nv-1] != 0), Knuth's algorithm D:
// one quotient word per step, estimated from the top two words of the remainder and the top word of the divisor,
// corrected with the second divisor word, and fixed by one add-back when the estimate was still one too large.
// q (nu - nv + 1 words, may be null) receives the quotient when nu >= nv; the remainder replaces u[0..nv) and the
// words above it become undefined. v is normalised in place and restored. Returns the remainder's length nv, or nu
// when nu < nv (u then is the remainder, unchanged).
int words_divrem(uint64_t* q, uint64_t* u, int nu, uint64_t* v, int nv) {
    if (nu < nv) return nu;
    if (nv == 1) {
        u[0] = words_divrem_word(q, u, nu, v[0]);
        return 1;
    }
    const int s = __builtin_clzll(v[nv - 1]);
    if (s != 0) {
        words_shl(v, nv, s);
        u[nu] = words_shl(u, nu, s);
    } else {
        u[nu] = 0;
    }
    const uint64_t vtop = v[nv - 1];
    const uint64_t vnext = v[nv - 2];
    for (int j = nu - nv; j >= 0; --j) {
        uint64_t* uj = u + j;
        const uint64_t u2 = uj[nv];
        const uint64_t u1 = uj[nv - 1];
        const uint64_t u0 = uj[nv - 2];
        uint64_t qhat;
        uint64_t rhat;
        bool rhat_wide = false;  // rhat >= 2^64: the correction test can no longer fail
        if (u2 >= vtop) {
            // The remainder is below v * 2^64, so u2 == vtop and the estimate saturates.
            qhat = ~0ull;
            const u128 r = static_cast<u128>(u1) + vtop;
            rhat = static_cast<uint64_t>(r);
            rhat_wide = (r >> 64) != 0;
        } else {
            qhat = div_2by1(u2, u1, vtop, &rhat);
        }
        while (!rhat_wide && static_cast<u128>(qhat) * vnext > ((static_cast<u128>(rhat) << 64) | u0)) {
            --qhat;
            const u128 r = static_cast<u128>(rhat) + vtop;
            rhat = static_cast<uint64_t>(r);
            rhat_wide = (r >> 64) != 0;
        }
        // uj[0..nv] -= qhat * v
        uint64_t carry = 0;
        uint64_t borrow = 0;
        for (int i = 0; i < nv; ++i) {
            const u128 p = static_cast<u128>(qhat) * v[i] + carry;
            carry = static_cast<uint64_t>(p >> 64);
            const uint64_t plo = static_cast<uint64_t>(p);
            const uint64_t x = uj[i];
            const uint64_t d = x - plo;
            const uint64_t b1 = x < plo;
            uj[i] = d - borrow;
            borrow = b1 | (d < borrow);
        }
        const u128 sub = static_cast<u128>(carry) + borrow;
        const bool negative = static_cast<u128>(u2) < sub;
        uj[nv] = u2 - static_cast<uint64_t>(sub);
        if (negative) {
            --qhat;
            uint64_t c = 0;
            for (int i = 0; i < nv; ++i) {
                const u128 t = static_cast<u128>(uj[i]) + v[i] + c;
                uj[i] = static_cast<uint64_t>(t);
                c = static_cast<uint64_t>(t >> 64);
            }
            uj[nv] += c;
        }
        if (q != nullptr) q[j] = qhat;
    }
    if (s != 0) {
        words_shr(u, nv, s);
        words_shr(v, nv, s);
    }
    return nv;
}

// ---- Error isolation -------------------------------------------------------------------------------------------

// Saves and clears error_code; on scope exit an older code is put back, else the operation's own code stays.
struct IsolatedErrors {
    uint32_t saved;
    IsolatedErrors() : saved(num_ctx.error_code) { num_ctx.error_code = 0; }
    ~IsolatedErrors() {
        if (saved != 0) num_ctx.error_code = saved;
    }
    IsolatedErrors(const IsolatedErrors&) = delete;
    IsolatedErrors& operator=(const IsolatedErrors&) = delete;
};

inline void fail(BigInt* r, uint32_t code) {
    raise_error(code);
    bigint_zero(r);
}

// Stores the span x (n words, n <= W) into the W-word r.
inline void store(BigInt* r, const uint64_t* x, int n) {
    words_copy(r, x, n);
    words_zero(r + n, width() - n);
}

// ---- Roots -----------------------------------------------------------------------------------------------------

// x^e into *res (capacity cap + 1) using *tmp (capacity cap + 1) as the other buffer; the two pointers may be
// swapped. Returns the significant length, or -1 when x^e >= 2^(64*cap). x has nx >= 1 words, e >= 1.
int words_pow_bounded(uint64_t** res, uint64_t** tmp, const uint64_t* x, int nx, uint64_t e, int cap) {
    if (nx > cap) return -1;
    words_copy(*res, x, nx);
    int n = nx;
    for (int bit = 62 - __builtin_clzll(e | 1); bit >= 0 && e > 1; --bit) {
        if (2 * n - 1 > cap) return -1;
        words_sqr(*tmp, *res, n);
        n = sig_words(*tmp, 2 * n);
        uint64_t* t = *res;
        *res = *tmp;
        *tmp = t;
        if (n > cap) return -1;
        if ((e >> bit) & 1) {
            if (n + nx - 1 > cap) return -1;
            n = words_mul_sig(*tmp, *res, n, x, nx);
            t = *res;
            *res = *tmp;
            *tmp = t;
            if (n > cap) return -1;
        }
    }
    return n;
}

// One integer Newton step for the k-th root of a: y = ((k - 1) x + floor(a / x^(k-1))) / k. For any x >= 1 the
// result is at least floor(a^(1/k)), and below x whenever x is above it. *exact tells whether x^k = a.
// Buffers: y, u, p, tmp of na + 3 words each (p and tmp only for k > 2); x is restored when used as divisor.
int root_newton_step(uint64_t* y, uint64_t* x, int nx, const uint64_t* a, int na, uint64_t k, uint64_t* u, uint64_t* p,
                     uint64_t* tmp, bool* exact) {
    // quotient floor(a / x^(k-1)) into tmp (for k = 2 into p), remainder length into nrem
    uint64_t* divisor = x;
    int nd = nx;
    uint64_t* quo = p;
    if (k > 2) {
        uint64_t* res = p;
        uint64_t* other = tmp;
        nd = words_pow_bounded(&res, &other, x, nx, k - 1, na + 1);
        divisor = res;
        quo = other;
    }
    int nq = 0;
    int nrem;
    words_copy(u, a, na);
    if (nd < 0 || nd > na) {
        nrem = na;  // divisor above a
    } else {
        nrem = words_divrem(quo, u, na, divisor, nd);
        nq = (na >= nd) ? sig_words(quo, na - nd + 1) : 0;
    }
    *exact = sig_words(u, nrem) == 0 && words_compare(quo, nq, x, nx) == 0;
    // y = (x * (k - 1) + quo) / k
    y[nx] = words_mul_word(y, x, nx, k - 1);
    int ny = nx + 1;
    uint64_t c = 0;
    for (int i = 0; i < ny; ++i) {
        const u128 t = static_cast<u128>(y[i]) + (i < nq ? quo[i] : 0) + c;
        y[i] = static_cast<uint64_t>(t);
        c = static_cast<uint64_t>(t >> 64);
    }
    for (int i = ny; i < nq; ++i) {
        const u128 t = static_cast<u128>(quo[i]) + c;
        y[i] = static_cast<uint64_t>(t);
        c = static_cast<uint64_t>(t >> 64);
    }
    if (nq > ny) ny = nq;
    y[ny++] = c;
    words_divrem_word(y, y, ny, k);
    return sig_words(y, ny);
}

// floor(a^(1/k)) for k >= 2 into r; returns exactness. Roots of up to 64 bits are found bit by bit from the top
// (y = v + 2^p accepted while y^k <= a); longer roots by integer Newton steps from a floating-point estimate
// correct to about 58 bits. Scratch: 5 (W + 3) words.
bool root_core(BigInt* r, const BigInt* a, uint64_t k) {
    const int w = width();
    const int na = sig_words(a, w);
    if (na == 0) {
        bigint_zero(r);
        return true;
    }
    const uint64_t b = words_bit_length(a, na);
    const uint64_t first_bit = (b - 1) / k;  // the root has first_bit + 1 bits at most
    ScratchFrame frame;
    const int cap = na + 3;
    if (first_bit < 64) {
        uint64_t* res = scratch_take(cap);
        uint64_t* tmp = scratch_take(cap);
        uint64_t v = 0;
        for (int p = static_cast<int>(first_bit); p >= 0; --p) {
            const uint64_t y = v | (1ull << p);
            uint64_t* pr = res;
            uint64_t* pt = tmp;
            const int n = words_pow_bounded(&pr, &pt, &y, 1, k, na);
            const int c = n < 0 ? 1 : words_compare(pr, n, a, na);
            if (c == 0) {
                bigint_set_word(r, y);
                return true;
            }
            if (c < 0) v = y;
        }
        bigint_set_word(r, v);
        return false;
    }
    uint64_t* x = scratch_take(cap);
    uint64_t* y = scratch_take(cap);
    uint64_t* u = scratch_take(cap);
    uint64_t* p = scratch_take(cap);
    uint64_t* tmp = k > 2 ? scratch_take(cap) : nullptr;

    // Estimate: log2 a = (b - 64) + log2(top64), split so that the mantissa is formed from small numbers.
    const int top_shift = static_cast<int>((b - 64) % 64);
    const int top_word = static_cast<int>((b - 64) / 64);
    uint64_t top64 = a[top_word] >> top_shift;
    if (top_shift != 0) top64 |= a[top_word + 1] << (64 - top_shift);
    const uint64_t big_q = (b - 64) / k;
    const uint64_t big_r = (b - 64) % k;
    const long double f =
        (static_cast<long double>(big_r) + std::log2(static_cast<long double>(top64))) / static_cast<long double>(k);
    const long double f_floor = std::floor(f);
    const uint64_t shift = big_q + static_cast<uint64_t>(f_floor) - 62;
    uint64_t mant = static_cast<uint64_t>(std::exp2(f - f_floor + 62.0L));
    if (mant == 0) mant = 1;
    const int word_shift = static_cast<int>(shift / 64);
    const int bit_shift = static_cast<int>(shift % 64);
    words_zero(x, word_shift + 2);
    x[word_shift] = mant << bit_shift;
    if (bit_shift != 0) x[word_shift + 1] = mant >> (64 - bit_shift);
    int nx = sig_words(x, word_shift + 2);

    bool exact = false;
    // The first step lifts any estimate to at least the root; from there the steps decrease to it.
    nx = root_newton_step(y, x, nx, a, na, k, u, p, tmp, &exact);
    uint64_t* t = x;
    x = y;
    y = t;
    for (;;) {
        const int ny = root_newton_step(y, x, nx, a, na, k, u, p, tmp, &exact);
        if (words_compare(y, ny, x, nx) >= 0) break;
        t = x;
        x = y;
        y = t;
        nx = ny;
    }
    store(r, x, nx);
    return exact;
}

// ---- Modular power ---------------------------------------------------------------------------------------------

// Multiplication modulo an odd m in Montgomery form (R = 2^(64n)): x*y*R^-1 mod m for x, y < m.
struct MontgomeryModulus {
    const uint64_t* m;
    int n;
    uint64_t m_inv;  // -m^-1 mod 2^64
    uint64_t* t;     // 2n + 1 words

    void reduce(uint64_t* r) {
        uint64_t extra = 0;
        for (int i = 0; i < n; ++i) {
            const uint64_t q = t[i] * m_inv;
            uint64_t* ti = t + i;
            uint64_t carry = 0;
            for (int j = 0; j < n; ++j) {
                const u128 s = static_cast<u128>(q) * m[j] + ti[j] + carry;
                ti[j] = static_cast<uint64_t>(s);
                carry = static_cast<uint64_t>(s >> 64);
            }
            const u128 s = static_cast<u128>(ti[n]) + carry + extra;
            ti[n] = static_cast<uint64_t>(s);
            extra = static_cast<uint64_t>(s >> 64);
        }
        const uint64_t* hi = t + n;
        bool subtract = extra != 0;
        if (!subtract) {
            int i = n - 1;
            while (i >= 0 && hi[i] == m[i]) --i;
            subtract = i < 0 || hi[i] > m[i];
        }
        if (subtract) {
            uint64_t borrow = 0;
            for (int i = 0; i < n; ++i) {
                const uint64_t x = hi[i];
                const uint64_t d = x - m[i];
                const uint64_t b1 = x < m[i];
                r[i] = d - borrow;
                borrow = b1 | (d < borrow);
            }
        } else {
            words_copy(r, hi, n);
        }
    }
    void mul(uint64_t* r, const uint64_t* x, const uint64_t* y) {
        words_mul(t, x, n, y, n);
        reduce(r);
    }
    void sqr(uint64_t* r, const uint64_t* x) {
        words_sqr(t, x, n);
        reduce(r);
    }
};

// Multiplication modulo any m by a full product and a long division.
struct PlainModulus {
    uint64_t* m;  // n words, mutable for the division
    int n;
    uint64_t* t;  // 2n + 1 words

    void reduce(uint64_t* r) {
        const int nt = sig_words(t, 2 * n);
        const int nr = words_divrem(nullptr, t, nt, m, n);
        words_copy(r, t, nr);
        words_zero(r + nr, n - nr);
    }
    void mul(uint64_t* r, const uint64_t* x, const uint64_t* y) {
        words_mul(t, x, n, y, n);
        reduce(r);
    }
    void sqr(uint64_t* r, const uint64_t* x) {
        words_sqr(t, x, n);
        reduce(r);
    }
};

// acc = g^e by left-to-right sliding windows of up to `window` bits; table holds the odd powers g, g^3, ...,
// g^(2^window - 1) (n words each), of which entry 0 is filled on entry. e has ne >= 1 significant words.
template <class Modulus>
void window_power(Modulus& mod, uint64_t* acc, uint64_t* table, int window, const uint64_t* e, int ne) {
    const int n = mod.n;
    const int entries = 1 << (window - 1);
    if (entries > 1) {
        mod.sqr(acc, table);  // g^2
        for (int i = 1; i < entries; ++i) mod.mul(table + i * n, table + (i - 1) * n, acc);
    }
    auto bit = [e](int64_t i) { return static_cast<int>((e[i >> 6] >> (i & 63)) & 1); };
    int64_t i = static_cast<int64_t>(words_bit_length(e, ne)) - 1;
    bool started = false;
    while (i >= 0) {
        if (bit(i) == 0) {
            mod.sqr(acc, acc);
            --i;
            continue;
        }
        int64_t low = i - window + 1;
        if (low < 0) low = 0;
        while (bit(low) == 0) ++low;
        uint64_t value = 0;
        for (int64_t j = i; j >= low; --j) value = (value << 1) | static_cast<uint64_t>(bit(j));
        const uint64_t* g = table + ((value - 1) / 2) * n;
        if (started) {
            for (int64_t j = i; j >= low; --j) mod.sqr(acc, acc);
            mod.mul(acc, acc, g);
        } else {
            words_copy(acc, g, n);
            started = true;
        }
        i = low - 1;
    }
}

// a^e mod m for m >= 2 (nm significant words), e >= 1, without overflow concerns. Result into r (W words).
void powmod_reduced(BigInt* r, const BigInt* a, const BigInt* e, int ne, const BigInt* m, int nm) {
    const int w = width();
    const int n = nm;
    ScratchFrame frame;
    uint64_t* mcopy = scratch_take(n);
    words_copy(mcopy, m, n);
    uint64_t* t = scratch_take(2 * n + 1);
    uint64_t* acc = scratch_take(n);

    // Window width by exponent length, limited so that the table stays within max(2W, 2048) words.
    const uint64_t ebits = words_bit_length(e, ne);
    int window = ebits <= 8 ? 1 : ebits <= 24 ? 2 : ebits <= 80 ? 3 : ebits <= 240 ? 4 : ebits <= 672 ? 5 : 6;
    const int64_t budget = 2 * w > 2048 ? 2 * w : 2048;
    while (window > 1 && (static_cast<int64_t>(1) << (window - 1)) * n > budget) --window;
    uint64_t* table = scratch_take(static_cast<size_t>(n) << (window - 1));

    // table[0] = a mod m, shifted by R for Montgomery; t serves as the dividend buffer.
    const bool odd = (m[0] & 1) != 0;
    const int na = sig_words(a, w);
    {
        ScratchFrame inner;
        const int off = odd ? n : 0;
        uint64_t* u = scratch_take(static_cast<size_t>(na + off) + 1);
        words_zero(u, off);
        words_copy(u + off, a, na);
        const int nr = words_divrem(nullptr, u, sig_words(u, na + off), mcopy, n);
        words_copy(table, u, nr);
        words_zero(table + nr, n - nr);
    }
    if (odd) {
        uint64_t inv = m[0];  // Newton iteration for m0^-1 mod 2^64: correct bits double from 3
        for (int i = 0; i < 5; ++i) inv *= 2 - m[0] * inv;
        MontgomeryModulus mod{mcopy, n, 0 - inv, t};
        window_power(mod, acc, table, window, e, ne);
        words_copy(t, acc, n);
        words_zero(t + n, n + 1);
        mod.reduce(acc);
    } else {
        PlainModulus mod{mcopy, n, t};
        window_power(mod, acc, table, window, e, ne);
    }
    store(r, acc, n);
}

// The square-and-multiply rule at width W, used when one of its products may reach 2^(64W): t = 1, and for each
// bit of e from the top t = t*t mod m, then t = t*a mod m when the bit is set. Returns false on overflow.
bool powmod_at_width(BigInt* r, const BigInt* a, const BigInt* e, int ne, const BigInt* m, int nm) {
    const int w = width();
    const int na = sig_words(a, w);
    ScratchFrame frame;
    uint64_t* mcopy = scratch_take(nm);
    words_copy(mcopy, m, nm);
    uint64_t* prod = scratch_take(2 * static_cast<size_t>(w) + 1);
    uint64_t* t = scratch_take(nm);
    t[0] = 1;
    int nt = 1;
    for (int64_t i = static_cast<int64_t>(words_bit_length(e, ne)) - 1; i >= 0; --i) {
        for (int step = 0; step < 2; ++step) {
            if (step == 1 && ((e[i >> 6] >> (i & 63)) & 1) == 0) break;
            const int np = step == 0 ? words_mul_sig(prod, t, nt, t, nt) : words_mul_sig(prod, t, nt, a, na);
            if (np > w) return false;
            nt = words_divrem(nullptr, prod, np, mcopy, nm);
            nt = sig_words(prod, nt);
            words_copy(t, prod, nt);
        }
    }
    store(r, t, nt);
    return true;
}

}  // namespace

// ---- Small helpers ---------------------------------------------------------------------------------------------

void bigint_zero(BigInt* r) {
    words_zero(r, width());
}

void bigint_copy(BigInt* r, const BigInt* a) {
    words_copy(r, a, width());
}

void bigint_set_word(BigInt* r, uint64_t w) {
    r[0] = w;
    words_zero(r + 1, width() - 1);
}

bool bigint_is_zero(const BigInt* a) {
    return sig_words(a, width()) == 0;
}

// ---- Comparison and bits ---------------------------------------------------------------------------------------

int bigint_compare(const BigInt* a, const BigInt* b) {
    for (int i = width() - 1; i >= 0; --i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

int bigint_compare_word(const BigInt* a, uint64_t w) {
    for (int i = width() - 1; i >= 1; --i) {
        if (a[i] != 0) return 1;
    }
    return a[0] == w ? 0 : (a[0] < w ? -1 : 1);
}

bool bigint_is_one(const BigInt* a) {
    return bigint_compare_word(a, 1) == 0;
}

uint64_t bigint_bit_length(const BigInt* a) {
    return words_bit_length(a, width());
}

void bigint_set_bit(BigInt* a, uint64_t p, bool value) {
    if (p / 64 >= static_cast<uint64_t>(width())) {
        raise_error(kErrDomain);
        return;
    }
    const uint64_t mask = 1ull << (p % 64);
    if (value) {
        a[p / 64] |= mask;
    } else {
        a[p / 64] &= ~mask;
    }
}

int bigint_test_bit(const BigInt* a, uint64_t p) {
    if (p / 64 >= static_cast<uint64_t>(width())) {
        raise_error(kErrDomain);
        return 0;
    }
    return static_cast<int>((a[p / 64] >> (p % 64)) & 1);
}

bool bigint_to_int64(int64_t* out, const BigInt* a, bool quiet) {
    if (sig_words(a, width()) <= 1 && a[0] < (1ull << 63)) {
        *out = static_cast<int64_t>(a[0]);
        return true;
    }
    *out = 0;
    if (!quiet) raise_error(kErrDomain);
    return false;
}

bool bigint_to_uint64(uint64_t* out, const BigInt* a, bool quiet) {
    if (sig_words(a, width()) <= 1) {
        *out = a[0];
        return true;
    }
    *out = 0;
    if (!quiet) raise_error(kErrDomain);
    return false;
}

// ---- Addition and subtraction ----------------------------------------------------------------------------------

void bigint_add(BigInt* r, const BigInt* a, const BigInt* b) {
    const int w = width();
    uint64_t carry = 0;
    for (int i = 0; i < w; ++i) {
        const u128 t = static_cast<u128>(a[i]) + b[i] + carry;
        r[i] = static_cast<uint64_t>(t);
        carry = static_cast<uint64_t>(t >> 64);
    }
    if (carry != 0) fail(r, kErrIntOverflow);
}

void bigint_add_word(BigInt* r, const BigInt* a, uint64_t w) {
    const int n = width();
    int i = 0;
    uint64_t carry = w;
    for (; i < n && carry != 0; ++i) {
        const uint64_t x = a[i] + carry;
        carry = x < carry ? 1 : 0;
        r[i] = x;
    }
    if (carry != 0) {
        fail(r, kErrIntOverflow);
        return;
    }
    words_copy(r + i, a + i, n - i);
}

void bigint_sub(BigInt* r, const BigInt* a, const BigInt* b) {
    const int w = width();
    uint64_t borrow = 0;
    for (int i = 0; i < w; ++i) {
        const uint64_t x = a[i];
        const uint64_t d = x - b[i];
        const uint64_t b1 = x < b[i];
        r[i] = d - borrow;
        borrow = b1 | (d < borrow);
    }
    if (borrow != 0) fail(r, kErrIntOverflow);
}

void bigint_decrement(BigInt* r, const BigInt* a) {
    const int n = width();
    int i = 0;
    while (i < n && a[i] == 0) {
        r[i] = ~0ull;
        ++i;
    }
    if (i == n) {
        fail(r, kErrIntOverflow);
        return;
    }
    r[i] = a[i] - 1;
    ++i;
    words_copy(r + i, a + i, n - i);
}

// ---- Multiplication --------------------------------------------------------------------------------------------

void bigint_mul(BigInt* r, const BigInt* a, const BigInt* b) {
    const int w = width();
    if (w == 1) {
        const u128 t = static_cast<u128>(a[0]) * b[0];
        if ((t >> 64) != 0) {
            fail(r, kErrIntOverflow);
            return;
        }
        r[0] = static_cast<uint64_t>(t);
        return;
    }
    const int na = sig_words(a, w);
    const int nb = sig_words(b, w);
    if (na == 0 || nb == 0) {
        bigint_zero(r);
        return;
    }
    if (na + nb - 2 >= w) {  // the product is at least 2^(64(na + nb - 2))
        fail(r, kErrIntOverflow);
        return;
    }
    ScratchFrame frame;
    uint64_t* t = scratch_take(static_cast<size_t>(na + nb));
    const int nt = words_mul_sig(t, a, na, b, nb);
    if (nt > w) {
        fail(r, kErrIntOverflow);
        return;
    }
    store(r, t, nt);
}

void bigint_mul_word(BigInt* r, const BigInt* a, uint64_t w) {
    if (words_mul_word(r, a, width(), w) != 0) fail(r, kErrIntOverflow);
}

// ---- Division --------------------------------------------------------------------------------------------------

void bigint_divmod(BigInt* q, BigInt* m, const BigInt* a, const BigInt* b) {
    const int w = width();
    if (w == 1) {
        if (b[0] == 0) {
            raise_error(kErrDivByZero);
            if (q != nullptr) q[0] = 0;
            if (m != nullptr) m[0] = 0;
            return;
        }
        const uint64_t x = a[0];
        const uint64_t d = b[0];
        if (q != nullptr) q[0] = x / d;
        if (m != nullptr) m[0] = x % d;
        return;
    }
    const int nb = sig_words(b, w);
    if (nb <= 1) {
        const uint64_t rem = bigint_divmod_word(q, a, b[0]);
        if (m != nullptr) bigint_set_word(m, rem);
        return;
    }
    const int na = sig_words(a, w);
    ScratchFrame frame;
    uint64_t* u = scratch_take(static_cast<size_t>(na) + 1);
    uint64_t* v = scratch_take(static_cast<size_t>(nb));
    const int nq = na >= nb ? na - nb + 1 : 0;
    uint64_t* qt = scratch_take(static_cast<size_t>(nq) + 1);
    words_copy(u, a, na);
    words_copy(v, b, nb);
    const int nr = words_divrem(qt, u, na, v, nb);
    if (q != nullptr) store(q, qt, nq);
    if (m != nullptr) store(m, u, nr);
}

bool bigint_div_exact(BigInt* q, const BigInt* a, const BigInt* b) {
    ScratchFrame frame;
    BigInt* m = scratch_take(static_cast<size_t>(width()));
    bigint_divmod(q, m, a, b);
    return bigint_is_zero(m);
}

void bigint_mod(BigInt* m, const BigInt* a, const BigInt* b) {
    bigint_divmod(nullptr, m, a, b);
}

uint64_t bigint_divmod_word(BigInt* q, const BigInt* a, uint64_t w) {
    const int n = width();
    if (w == 0) {
        raise_error(kErrDivByZero);
        if (q != nullptr) bigint_zero(q);
        return 0;
    }
    const int na = sig_words(a, n);
    const uint64_t rem = words_divrem_word(q, a, na, w);
    if (q != nullptr) words_zero(q + na, n - na);
    return rem;
}

// ---- Roots -----------------------------------------------------------------------------------------------------

bool bigint_isqrt(BigInt* r, const BigInt* a) {
    IsolatedErrors isolated;
    return root_core(r, a, 2);
}

bool bigint_root_word(BigInt* r, const BigInt* a, int64_t k) {
    IsolatedErrors isolated;
    if (k <= 0) {
        fail(r, kErrDomain);
        return false;
    }
    if (k == 1) {
        bigint_copy(r, a);
        return true;
    }
    return root_core(r, a, static_cast<uint64_t>(k));
}

bool bigint_root(BigInt* r, const BigInt* a, const BigInt* k) {
    int64_t kw;
    if (bigint_to_int64(&kw, k, true)) return bigint_root_word(r, a, kw);
    const bool at_most_one = bigint_compare_word(a, 1) <= 0;
    bigint_set_word(r, bigint_is_zero(a) ? 0 : 1);
    return at_most_one;
}

// ---- Powers ----------------------------------------------------------------------------------------------------

// Right to left: t runs through a, a^2, a^4, ...; r collects the factors of the set bits of n; t is squared only
// while higher bits remain, so every intermediate value is at most a^n.
void bigint_pow_word(BigInt* r, const BigInt* a, int64_t n) {
    IsolatedErrors isolated;
    if (n < 0) {
        fail(r, kErrDomain);
        return;
    }
    if (n == 0) {
        bigint_set_word(r, 1);
        return;
    }
    ScratchFrame frame;
    BigInt* t = scratch_take(static_cast<size_t>(width()));
    bigint_copy(t, a);
    bool first = true;
    for (uint64_t bits = static_cast<uint64_t>(n);;) {
        if (bits & 1) {
            if (first) {
                bigint_copy(r, t);
                first = false;
            } else {
                bigint_mul(r, r, t);
            }
        }
        bits >>= 1;
        if (bits == 0 || num_ctx.error_code != 0) break;
        bigint_mul(t, t, t);
        if (num_ctx.error_code != 0) break;
    }
    if (num_ctx.error_code != 0) bigint_zero(r);
}

void bigint_pow(BigInt* r, const BigInt* a, const BigInt* e) {
    int64_t n;
    if (bigint_to_int64(&n, e, true)) {
        bigint_pow_word(r, a, n);
        return;
    }
    if (bigint_compare_word(a, 1) <= 0) {
        bigint_set_word(r, a[0]);
        return;
    }
    fail(r, kErrIntOverflow);
}

void bigint_pow2(BigInt* r, const BigInt* e) {
    int64_t n;
    if (!bigint_to_int64(&n, e, true) || n >= 64 * static_cast<int64_t>(width())) {
        fail(r, kErrIntOverflow);
        return;
    }
    bigint_zero(r);
    r[n / 64] = 1ull << (n % 64);
}

// 10^e as 10^(16 * (e / 16)) * 10^(e mod 16): t runs through 10^16, 10^32, 10^64, ... over the bits of e / 16.
void bigint_pow10(BigInt* r, const BigInt* e) {
    IsolatedErrors isolated;
    int64_t n;
    if (!bigint_to_int64(&n, e, true)) {
        fail(r, kErrIntOverflow);
        return;
    }
    if (n <= 19) {
        bigint_set_word(r, kPow10[n]);
        return;
    }
    ScratchFrame frame;
    BigInt* t = scratch_take(static_cast<size_t>(width()));
    bigint_set_word(t, kPow10[16]);
    bool first = true;
    for (uint64_t bits = static_cast<uint64_t>(n) / 16;;) {
        if (bits & 1) {
            if (first) {
                bigint_mul_word(r, t, kPow10[n % 16]);
                first = false;
            } else {
                bigint_mul(r, r, t);
            }
            if (num_ctx.error_code != 0) break;
        }
        bits >>= 1;
        if (bits == 0) break;
        bigint_mul(t, t, t);
        if (num_ctx.error_code != 0) break;
    }
    if (num_ctx.error_code != 0) bigint_zero(r);
}

void bigint_factorial(BigInt* r, const BigInt* n) {
    IsolatedErrors isolated;
    uint64_t count;
    if (!bigint_to_uint64(&count, n, true)) {
        fail(r, kErrIntOverflow);
        return;
    }
    const int w = width();
    bigint_set_word(r, 1);
    int nr = 1;
    for (uint64_t k = 2; k <= count && k != 0; ++k) {
        const uint64_t carry = words_mul_word(r, r, nr, k);
        if (carry != 0) {
            if (nr == w) {
                fail(r, kErrIntOverflow);
                return;
            }
            r[nr++] = carry;
        }
    }
}

// ---- Logarithms ------------------------------------------------------------------------------------------------

bool bigint_log2(BigInt* r, const BigInt* x) {
    const int w = width();
    const int nx = sig_words(x, w);
    if (nx == 0) {
        fail(r, kErrIntOverflow);
        return false;
    }
    const uint64_t bits = words_bit_length(x, nx);
    const bool exact = sig_words(x, nx - 1) == 0 && (x[nx - 1] & (x[nx - 1] - 1)) == 0;
    bigint_set_word(r, bits - 1);
    return exact;
}

// Counts the divisions by b while x >= b; exact when every division was exact and 1 remains. For a one-word base
// the divisions are grouped by the largest power of b that fits a word, which leaves count and exactness alike.
bool bigint_log(BigInt* r, const BigInt* x, const BigInt* b) {
    const int w = width();
    const int nx = sig_words(x, w);
    if (nx == 0 || bigint_compare_word(b, 2) < 0) {
        fail(r, kErrIntOverflow);
        return false;
    }
    if (bigint_compare_word(b, 2) == 0) return bigint_log2(r, x);
    const int nb = sig_words(b, w);
    ScratchFrame frame;
    uint64_t* u = scratch_take(static_cast<size_t>(nx) + 1);
    words_copy(u, x, nx);
    int nu = nx;
    uint64_t count = 0;
    bool exact = true;
    if (nb == 1) {
        const uint64_t d = b[0];
        uint64_t chunk = d;
        uint64_t per_chunk = 1;
        while (chunk <= ~0ull / d) {
            chunk *= d;
            ++per_chunk;
        }
        const uint64_t divisors[2] = {chunk, d};
        const uint64_t steps[2] = {per_chunk, 1};
        for (int pass = 0; pass < 2; ++pass) {
            const uint64_t divisor = divisors[pass];
            const uint64_t step = steps[pass];
            while (nu > 1 || (nu == 1 && u[0] >= divisor)) {
                if (words_divrem_word(u, u, nu, divisor) != 0) exact = false;
                nu = sig_words(u, nu);
                count += step;
            }
        }
    } else {
        uint64_t* v = scratch_take(static_cast<size_t>(nb));
        uint64_t* q = scratch_take(static_cast<size_t>(nx) + 1);
        words_copy(v, b, nb);
        while (words_compare(u, nu, v, nb) >= 0) {
            const int nr = words_divrem(q, u, nu, v, nb);
            if (sig_words(u, nr) != 0) exact = false;
            const int nq = sig_words(q, nu - nb + 1);
            words_copy(u, q, nq);
            nu = nq;
            ++count;
        }
    }
    exact = exact && nu == 1 && u[0] == 1;
    bigint_set_word(r, count);
    return exact;
}

bool bigint_log10(BigInt* r, const BigInt* x) {
    ScratchFrame frame;
    BigInt* ten = scratch_take(static_cast<size_t>(width()));
    bigint_set_word(ten, 10);
    return bigint_log(r, x, ten);
}

// ---- Number theory ---------------------------------------------------------------------------------------------

void bigint_gcd(BigInt* r, const BigInt* a, const BigInt* b) {
    const int w = width();
    int nu = sig_words(a, w);
    int nv = sig_words(b, w);
    if (nu == 0 || nv == 0) {
        fail(r, kErrIntOverflow);
        return;
    }
    ScratchFrame frame;
    const int cap = (nu > nv ? nu : nv) + 1;
    uint64_t* u = scratch_take(static_cast<size_t>(cap));
    uint64_t* v = scratch_take(static_cast<size_t>(cap));
    words_copy(u, a, nu);
    words_copy(v, b, nv);
    // Euclid: u = u mod v, then swap, until the remainder vanishes; one-word pairs finish in registers.
    for (;;) {
        if (nu == 1 && nv == 1) {
            uint64_t x = u[0];
            uint64_t y = v[0];
            while (y != 0) {
                const uint64_t t = x % y;
                x = y;
                y = t;
            }
            bigint_set_word(r, x);
            return;
        }
        nu = sig_words(u, words_divrem(nullptr, u, nu, v, nv));
        if (nu == 0) {
            store(r, v, nv);
            return;
        }
        uint64_t* t = u;
        u = v;
        v = t;
        const int n = nu;
        nu = nv;
        nv = n;
    }
}

void bigint_powmod(BigInt* r, const BigInt* a, const BigInt* e, const BigInt* m) {
    const int w = width();
    const int nm = sig_words(m, w);
    if (nm == 0) {
        fail(r, kErrDivByZero);
        return;
    }
    const bool m_is_one = bigint_is_one(m);
    const int ne = sig_words(e, w);
    if (ne == 0 || m_is_one) {
        bigint_set_word(r, m_is_one ? 0 : 1);
        return;
    }
    // With t < m throughout, no product t*t or t*a can reach 2^(64W) when (m - 1)^2 and (m - 1) * a stay below it
    // (bit lengths suffice); e = 1 forms only 1 * a. Otherwise the rule is followed product by product.
    const uint64_t limit = 64 * static_cast<uint64_t>(w);
    const bool m_power_of_two = sig_words(m, nm - 1) == 0 && (m[nm - 1] & (m[nm - 1] - 1)) == 0;
    const uint64_t bm = words_bit_length(m, nm) - (m_power_of_two ? 1 : 0);
    const uint64_t ba = bigint_bit_length(a);
    const bool e_is_one = ne == 1 && e[0] == 1;
    if (e_is_one || (2 * bm <= limit && bm + ba <= limit)) {
        powmod_reduced(r, a, e, ne, m, nm);
        return;
    }
    if (!powmod_at_width(r, a, e, ne, m, nm)) fail(r, kErrIntOverflow);
}

// Extended Euclid on (m, a), keeping only the cofactors of a as magnitudes with sign flags. The magnitudes stay at
// most m, so nothing can overflow.
void bigint_modinv(BigInt* r, const BigInt* a, const BigInt* m) {
    const int w = width();
    const int na = sig_words(a, w);
    if (na > 0 && bigint_compare_word(m, 2) < 0) {
        fail(r, kErrDomain);
        return;
    }
    if (na == 0) {
        fail(r, kErrDivByZero);
        return;
    }
    if (bigint_is_one(a)) {
        bigint_set_word(r, 1);
        return;
    }
    const int nm = sig_words(m, w);
    ScratchFrame frame;
    const size_t cap = static_cast<size_t>(w) + 2;
    uint64_t* r0 = scratch_take(cap);  // previous remainder
    uint64_t* r1 = scratch_take(cap);  // current remainder
    uint64_t* t0 = scratch_take(cap);  // cofactor magnitudes
    uint64_t* t1 = scratch_take(cap);
    uint64_t* q = scratch_take(cap);
    uint64_t* p = scratch_take(cap + 1);
    words_copy(r0, m, nm);
    words_copy(r1, a, na);
    int n0 = nm, n1 = na;
    t0[0] = 0;
    t1[0] = 1;
    int nt0 = 0, nt1 = 1;
    bool neg0 = false, neg1 = false;
    while (n1 > 1 || (n1 == 1 && r1[0] >= 2)) {
        // r0 = r0 mod r1 with quotient q; t0 = t0 - q * t1
        const int nq = n0 >= n1 ? n0 - n1 + 1 : 0;
        n0 = sig_words(r0, words_divrem(q, r0, n0, r1, n1));
        const int np = words_mul_sig(p, q, sig_words(q, nq), t1, nt1);
        if (np > 0) {
            if (neg0 != neg1) {
                // magnitudes add; the sign of t0 stays
                const int n = nt0 > np ? nt0 : np;
                uint64_t c = 0;
                for (int i = 0; i < n; ++i) {
                    const u128 s = static_cast<u128>(i < nt0 ? t0[i] : 0) + (i < np ? p[i] : 0) + c;
                    t0[i] = static_cast<uint64_t>(s);
                    c = static_cast<uint64_t>(s >> 64);
                }
                t0[n] = c;
                nt0 = sig_words(t0, n + 1);
            } else {
                const bool flip = words_compare(t0, nt0, p, np) < 0;
                const uint64_t* big = flip ? p : t0;
                const uint64_t* small = flip ? t0 : p;
                const int nbig = flip ? np : nt0;
                const int nsmall = flip ? nt0 : np;
                uint64_t borrow = 0;
                for (int i = 0; i < nbig; ++i) {
                    const uint64_t x = big[i];
                    const uint64_t y = i < nsmall ? small[i] : 0;
                    const uint64_t d = x - y;
                    const uint64_t b1 = x < y;
                    t0[i] = d - borrow;
                    borrow = b1 | (d < borrow);
                }
                nt0 = sig_words(t0, nbig);
                if (flip) neg0 = !neg0;
            }
        }
        uint64_t* t = r0;
        r0 = r1;
        r1 = t;
        int n = n0;
        n0 = n1;
        n1 = n;
        t = t0;
        t0 = t1;
        t1 = t;
        n = nt0;
        nt0 = nt1;
        nt1 = n;
        const bool s = neg0;
        neg0 = neg1;
        neg1 = s;
    }
    if (n1 == 0) {
        fail(r, kErrIntOverflow);
        return;
    }
    if (!neg1) {
        store(r, t1, nt1);
        return;
    }
    // r = m - |t1|
    uint64_t borrow = 0;
    for (int i = 0; i < nm; ++i) {
        const uint64_t x = m[i];
        const uint64_t y = i < nt1 ? t1[i] : 0;
        const uint64_t d = x - y;
        const uint64_t b1 = x < y;
        p[i] = d - borrow;
        borrow = b1 | (d < borrow);
    }
    store(r, p, nm);
}
