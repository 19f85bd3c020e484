#include "numeric/real_arith.h"

#include "numeric/limb_kernels.h"

namespace {

constexpr uint64_t kB = kLimbBase;
constexpr uint64_t kUnitLimb = 1000000000000000000ull;  // 10^18: limb 0 of the mantissa 1

inline int precision() {
    return num_ctx.real_limbs;
}

// Digits the iterative algorithms aim at: 19 * L less the guard reduction.
inline int64_t target_digits() {
    return 19 * static_cast<int64_t>(num_ctx.real_limbs) - static_cast<int64_t>(num_ctx.guard_digit_reduction);
}

inline void set_header(RealNum* x, int64_t e, bool negative) {
    x[0] = (static_cast<uint64_t>(e) << 1) | (negative ? 1u : 0u);
}

// Magnitude comparison of two nonzero normalised numbers given as (exponent, limbs); missing limbs count as zero.
int compare_magnitude(int64_t ea, const uint64_t* a, int na, int64_t eb, const uint64_t* b, int nb) {
    if (ea != eb) return ea > eb ? 1 : -1;
    const int n = na > nb ? na : nb;
    for (int i = 0; i < n; ++i) {
        const uint64_t x = i < na ? a[i] : 0;
        const uint64_t y = i < nb ? b[i] : 0;
        if (x != y) return x > y ? 1 : -1;
    }
    return 0;
}

// Comparison of a with the nonzero number (-1)^negative * (limbs) * 10^e of nb limbs.
int compare_with(const RealNum* a, bool negative, int64_t e, const uint64_t* limbs, int nb) {
    if (real_is_zero(a)) return negative ? 1 : -1;
    const bool a_negative = real_is_negative(a);
    if (a_negative != negative) return a_negative ? -1 : 1;
    const int c = compare_magnitude(real_exponent(a), real_limbs_of(a), precision(), e, limbs, nb);
    return a_negative ? -c : c;
}

// Magnitude of x (nonzero) as an integer when its exponent is at most max_exponent (18 or 19). Fails on a
// fractional part unless truncate is set, and when the value exceeds 64 bits.
bool magnitude_to_u64(uint64_t* out, const RealNum* x, bool truncate, int max_exponent) {
    const int n = precision();
    const uint64_t* limbs = real_limbs_of(x);
    const int64_t e = real_exponent(x);
    *out = 0;
    if (e < 0) return truncate;
    if (e > max_exponent) return false;
    int first_rest = 1;  // first limb that must be zero without truncation
    if (e <= 17) {
        uint64_t remainder;
        *out = div_pow10(limbs[0], static_cast<int>(18 - e), &remainder);
        if (!truncate && remainder != 0) return false;
    } else if (e == 18) {
        *out = limbs[0];
    } else {
        uint64_t last_digit = 0, rest = 0;
        if (n >= 2) last_digit = div_pow10(limbs[1], 18, &rest);
        constexpr uint64_t kLimit = 0x1999999999999999ull;  // floor((2^64 - 1) / 10)
        if (limbs[0] > kLimit || (limbs[0] == kLimit && last_digit > 5)) return false;
        *out = limbs[0] * 10 + last_digit;
        if (!truncate && rest != 0) return false;
        first_rest = 2;
    }
    if (!truncate) {
        for (int i = first_rest; i < n; ++i) {
            if (limbs[i] != 0) {
                *out = 0;
                return false;
            }
        }
    }
    return true;
}

// A word magnitude m < 10^19 as one normalised limb; returns the exponent.
int64_t normalise_word(uint64_t m, uint64_t* limb) {
    const int t = leading_zero_digits(m);
    *limb = m * kPow10[t];
    return 18 - t;
}

}  // namespace

// ---- Header ----------------------------------------------------------------------------------------------------

void real_set_exponent(RealNum* x, int64_t e, bool negative) {
    if (e > kMaxExponent) {
        raise_error(kErrOverflow);
        real_set_zero(x);
        return;
    }
    if (e < -kMaxExponent) {
        if (num_ctx.underflow_is_error) {
            raise_error(kErrUnderflow);
            real_set_zero(x);
        } else {
            real_set_signed_zero(x, negative);
        }
        return;
    }
    set_header(x, e, negative);
}

void real_add_exponent(RealNum* x, int64_t delta) {
    if (real_is_zero(x)) return;
    int64_t sum;
    if (__builtin_add_overflow(real_exponent(x), delta, &sum)) sum = delta > 0 ? INT64_MAX : INT64_MIN;
    real_set_exponent(x, sum, real_is_negative(x));
}

void real_set_zero(RealNum* x) {
    real_set_signed_zero(x, false);
}

void real_set_signed_zero(RealNum* x, bool negative) {
    x[0] = negative ? 1u : 0u;
    limbs_zero(x + 1, precision());
}

void real_copy(RealNum* dst, const RealNum* src) {
    if (dst != src) limbs_copy(dst, src, precision() + 1);
}

// ---- Shifts and normalisation ----------------------------------------------------------------------------------

void limbs_shift_right_digits(uint64_t* limbs, int n, uint64_t* guard, int64_t k) {
    if (k <= 0) return;
    const int64_t whole = k / 19;
    const int r = static_cast<int>(k % 19);
    if (whole > n) {
        limbs_zero(limbs, n);
        *guard = 0;
        return;
    }
    if (whole > 0) {
        const int q = static_cast<int>(whole);
        *guard = limbs[n - q];
        limbs_move_up(limbs + q, limbs, n - q);
        limbs_zero(limbs, q);
    }
    if (r > 0) {
        const uint64_t up = kPow10[19 - r];
        uint64_t above = 0;  // remainder of the limb above, moved down into the top of the next limb
        for (int i = 0; i < n; ++i) {
            uint64_t remainder;
            const uint64_t q = div_pow10(limbs[i], r, &remainder);
            limbs[i] = q + above * up;
            above = remainder;
        }
        uint64_t lost;
        *guard = div_pow10(*guard, r, &lost) + above * up;
    }
}

void limbs_shift_left_digits(uint64_t* limbs, int n, uint64_t* guard, int64_t k) {
    if (k <= 0) return;
    const int64_t whole = k / 19;
    const int r = static_cast<int>(k % 19);
    if (whole > n) {
        limbs_zero(limbs, n);
        *guard = 0;
        return;
    }
    if (whole > 0) {
        const int q = static_cast<int>(whole);
        limbs_copy(limbs, limbs + q, n - q);
        limbs[n - q] = *guard;
        limbs_zero(limbs + n - q + 1, q - 1);
        *guard = 0;
    }
    if (r > 0) {
        const int keep = 19 - r;
        const uint64_t up = kPow10[r];
        for (int i = 0; i < n; ++i) {
            const uint64_t next = i + 1 < n ? limbs[i + 1] : *guard;
            uint64_t low, dropped;
            div_pow10(limbs[i], keep, &low);
            limbs[i] = low * up + div_pow10(next, keep, &dropped);
        }
        uint64_t low;
        div_pow10(*guard, keep, &low);
        *guard = low * up;
    }
}

int limbs_normalize(uint64_t* limbs, int n, uint64_t* guard) {
    int z = 0;
    while (z < n && limbs[z] == 0) ++z;
    int s;
    if (z < n) {
        s = 19 * z + leading_zero_digits(limbs[z]);
    } else if (*guard != 0) {
        s = 19 * n + leading_zero_digits(*guard);
    } else {
        return 0;
    }
    if (s > 0) {
        limbs_shift_left_digits(limbs, n, guard, s);
    } else if (s < 0) {
        limbs_shift_right_digits(limbs, n, guard, 1);
    }
    return s;
}

// ---- Construction and conversion -------------------------------------------------------------------------------

void real_set_one(RealNum* dst) {
    real_set_zero(dst);
    dst[1] = kUnitLimb;
}

uint64_t real_from_u64(RealNum* dst, uint64_t word) {
    const int n = precision();
    real_set_zero(dst);
    if (word == 0) return 0;
    if (word >= kB) {
        dst[1] = word / 10;
        const uint64_t last = (word % 10) * kUnitLimb;
        set_header(dst, 19, false);
        if (n >= 2) {
            dst[2] = last;
            return 0;
        }
        return last;
    }
    set_header(dst, normalise_word(word, &dst[1]), false);
    return 0;
}

uint64_t real_from_i64(RealNum* dst, int64_t word) {
    const uint64_t magnitude = word < 0 ? 0 - static_cast<uint64_t>(word) : static_cast<uint64_t>(word);
    const uint64_t guard = real_from_u64(dst, magnitude);
    if (word < 0) real_negate(dst);
    return guard;
}

bool real_to_i64(int64_t* out, const RealNum* x, uint32_t flags) {
    *out = 0;
    if (real_is_zero(x)) return true;
    const bool negative = real_is_negative(x);
    uint64_t magnitude;
    bool ok = magnitude_to_u64(&magnitude, x, (flags & kToIntTruncate) != 0, 18);
    constexpr uint64_t kLimit = uint64_t{1} << 63;
    if (ok && magnitude > (negative ? kLimit : kLimit - 1)) ok = false;
    if (!ok) {
        if (!(flags & kToIntQuiet)) raise_error(kErrDomain);
        return false;
    }
    *out = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    return true;
}

bool real_to_u64(uint64_t* out, const RealNum* x, uint32_t flags) {
    *out = 0;
    if (real_is_zero(x)) return true;
    bool ok = !real_is_negative(x) || (flags & kToIntNegativeMagnitude) != 0;
    uint64_t magnitude = 0;
    if (ok) ok = magnitude_to_u64(&magnitude, x, (flags & kToIntTruncate) != 0, 19);
    if (!ok) {
        if (!(flags & kToIntQuiet)) raise_error(kErrDomain);
        return false;
    }
    *out = magnitude;
    return true;
}

// Repeated division of the binary number by 10^19 yields the decimal limbs from the least significant upward;
// the binary number shrinks by a word whenever its top word runs out.
void real_from_bigint(RealNum* dst, int w, const uint64_t* words) {
    const int n = precision();
    int used = w;
    while (used > 0 && words[used - 1] == 0) --used;
    if (used == 0) {
        real_set_zero(dst);
        return;
    }
    const int capacity = static_cast<int>((static_cast<int64_t>(used) * 1039 + 1023) / 1024);
    if (static_cast<size_t>(used) + static_cast<size_t>(capacity) > kScratchWords) {
        raise_error(kErrBigintBuffer);
        real_set_zero(dst);
        return;
    }
    ScratchFrame frame;
    uint64_t* number = scratch_take(static_cast<size_t>(used));
    uint64_t* decimal = scratch_take(static_cast<size_t>(capacity));
    limbs_copy(number, words, used);
    int k = 0;
    int top = used;
    while (top > 0) {
        if (k == capacity) {
            raise_error(kErrBigintBuffer);
            real_set_zero(dst);
            return;
        }
        uint64_t remainder = 0;
        for (int i = top - 1; i >= 0; --i) number[i] = div_wide(&remainder, remainder, number[i], kB, kSplitReciprocal);
        decimal[k++] = remainder;
        while (top > 0 && number[top - 1] == 0) --top;
    }
    uint64_t* limbs = real_limbs_of(dst);
    for (int i = 0; i < n; ++i) limbs[i] = k - 1 - i >= 0 ? decimal[k - 1 - i] : 0;
    uint64_t guard = k - 1 - n >= 0 ? decimal[k - 1 - n] : 0;
    const int s = limbs_normalize(limbs, n, &guard);
    real_set_exponent(dst, 19 * static_cast<int64_t>(k) - s - 1, false);
}

void real_resize(RealNum* dst, const RealNum* src, int n) {
    const int limbs = precision();
    const uint64_t guard = n > limbs ? src[1 + limbs] : 0;
    const int kept = n < limbs ? n : limbs;
    if (dst != src) limbs_copy(dst, src, kept + 1);
    if (n < limbs) limbs_zero(dst + 1 + n, limbs - n);
    if (n > limbs && !num_ctx.no_rounding && limbs_round_half_up(dst + 1, limbs, guard)) real_add_exponent(dst, 1);
}

// ---- Comparison and tests --------------------------------------------------------------------------------------

int real_compare(const RealNum* a, const RealNum* b) {
    if (real_is_zero(b)) {
        if (real_is_zero(a)) return 0;
        return real_is_negative(a) ? -1 : 1;
    }
    return compare_with(a, real_is_negative(b), real_exponent(b), real_limbs_of(b), precision());
}

int real_compare_i64(const RealNum* a, int64_t word) {
    if (word == 0) {
        if (real_is_zero(a)) return 0;
        return real_is_negative(a) ? -1 : 1;
    }
    const uint64_t magnitude = word < 0 ? 0 - static_cast<uint64_t>(word) : static_cast<uint64_t>(word);
    uint64_t limb;
    const int64_t e = normalise_word(magnitude, &limb);
    return compare_with(a, word < 0, e, &limb, 1);
}

int real_compare_scaled(const RealNum* a, int32_t m, int64_t e) {
    const uint64_t magnitude = m < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(m)) : static_cast<uint64_t>(m);
    if (magnitude < 100000000 || magnitude >= 1000000000) {
        raise_error(kErrDomain);
        return 0;
    }
    const uint64_t limb = magnitude * 10000000000ull;
    return compare_with(a, m < 0, e, &limb, 1);
}

bool real_abs_at_least(const RealNum* a, int32_t m, int64_t e) {
    if (real_is_zero(a)) return m == 0;
    if (m < 100000000) {
        raise_error(kErrDomain);
        return false;
    }
    // m has 9 or 10 digits: as a normalised first limb it is m * 10^10 or m * 10^9 with the exponent one higher
    uint64_t limb = static_cast<uint64_t>(m) * 10000000000ull;
    if (m >= 1000000000) {
        limb = static_cast<uint64_t>(m) * 1000000000ull;
        if (e == INT64_MAX) return false;
        ++e;
    }
    const int64_t ea = real_exponent(a);
    if (ea != e) return ea > e;
    return a[1] >= limb;
}

bool real_is_integer(const RealNum* a) {
    if (real_is_zero(a)) return true;
    const int64_t e = real_exponent(a);
    if (e < 0) return false;
    const int n = precision();
    const int64_t q = e / 19;
    if (q >= n) return true;
    const uint64_t* limbs = real_limbs_of(a);
    uint64_t fraction;
    div_pow10(limbs[q], static_cast<int>(19 * q + 18 - e), &fraction);
    if (fraction != 0) return false;
    for (int64_t i = q + 1; i < n; ++i) {
        if (limbs[i] != 0) return false;
    }
    return true;
}

bool real_is_even(const RealNum* a) {
    const int64_t e = real_exponent(a);
    if (e < 0) return true;
    const int64_t q = e / 19;
    if (q >= precision()) return true;
    uint64_t remainder;
    return (div_pow10(real_limbs_of(a)[q], static_cast<int>(19 * q + 18 - e), &remainder) & 1) == 0;
}

void real_frac(RealNum* dst, const RealNum* a) {
    const int n = precision();
    const int64_t e = real_exponent(a);
    const bool negative = real_is_negative(a);
    if (e < 0) {
        real_copy(dst, a);
        return;
    }
    const int64_t q = e / 19;
    if (q >= n) {
        real_set_signed_zero(dst, negative);
        return;
    }
    real_copy(dst, a);
    uint64_t* limbs = real_limbs_of(dst);
    limbs_zero(limbs, static_cast<int>(q));
    div_pow10(limbs[q], static_cast<int>(19 * q + 18 - e), &limbs[q]);
    uint64_t guard = 0;
    const int s = limbs_normalize(limbs, n, &guard);
    if (limbs[0] == 0) {
        real_set_signed_zero(dst, negative);
        return;
    }
    real_set_exponent(dst, e - s, negative);
}

// ---- Arithmetic ------------------------------------------------------------------------------------------------

// The operand with the smaller exponent is aligned in a temporary with one guard limb; digits beyond the guard
// are dropped, so the result is the exact sum of the aligned operands truncated to L limbs.
uint64_t real_add_sub(RealNum* dst, const RealNum* a, const RealNum* b, int subtract) {
    const int n = precision();
    const bool a_negative = real_is_negative(a);
    const bool b_negative = real_is_negative(b) != (subtract != 0);
    if (real_is_zero(a)) {
        real_copy(dst, b);
        dst[0] = (dst[0] & ~uint64_t{1}) | (b_negative ? 1u : 0u);
        return 0;
    }
    if (real_is_zero(b)) {
        real_copy(dst, a);
        return 0;
    }
    const int64_t ea = real_exponent(a);
    const int64_t eb = real_exponent(b);
    const bool b_is_shifted = ea >= eb;
    const RealNum* high = b_is_shifted ? a : b;
    const RealNum* low = b_is_shifted ? b : a;
    const int64_t e_max = b_is_shifted ? ea : eb;

    ScratchFrame frame;
    RealNum* aligned = scratch_real();
    uint64_t* y = real_limbs_of(aligned);
    limbs_copy(y, real_limbs_of(low), n);
    uint64_t guard = 0;
    limbs_shift_right_digits(y, n, &guard, b_is_shifted ? ea - eb : eb - ea);

    const uint64_t* x = real_limbs_of(high);
    uint64_t* r = real_limbs_of(dst);
    if (a_negative == b_negative) {
        uint64_t carry = 0;
        for (int i = n - 1; i >= 0; --i) {
            const uint64_t addend = y[i] + carry;  // at most 10^19
            if (x[i] >= kB - addend) {
                r[i] = x[i] - (kB - addend);
                carry = 1;
            } else {
                r[i] = x[i] + addend;
                carry = 0;
            }
        }
        int64_t e = e_max;
        if (carry) {
            limbs_shift_right_digits(r, n, &guard, 1);
            r[0] += kUnitLimb;
            ++e;
        }
        real_set_exponent(dst, e, a_negative);
        return real_is_zero(dst) ? 0 : guard;
    }

    int c = 0;
    for (int i = 0; i < n && c == 0; ++i) {
        if (x[i] != y[i]) c = x[i] > y[i] ? 1 : -1;
    }
    if (c == 0) {
        real_set_signed_zero(dst, a_negative);
        return 0;
    }
    const uint64_t* minuend = c > 0 ? x : y;
    const uint64_t* subtrahend = c > 0 ? y : x;
    const bool a_is_larger = (c > 0) == b_is_shifted;
    // A nonzero guard belongs to the aligned operand, which is the smaller one whenever it has been shifted.
    uint64_t borrow = 0;
    if (guard != 0) {
        guard = kB - guard;
        borrow = 1;
    }
    for (int i = n - 1; i >= 0; --i) {
        const uint64_t take = subtrahend[i] + borrow;  // at most 10^19
        if (minuend[i] >= take) {
            r[i] = minuend[i] - take;
            borrow = 0;
        } else {
            r[i] = minuend[i] + (kB - take);
            borrow = 1;
        }
    }
    const int s = limbs_normalize(r, n, &guard);
    real_set_exponent(dst, e_max - s, a_is_larger ? a_negative : b_negative);
    return real_is_zero(dst) ? 0 : guard;
}

uint64_t real_mul(RealNum* dst, const RealNum* a, const RealNum* b) {
    const int n = precision();
    const bool negative = real_is_negative(a) != real_is_negative(b);
    if (real_is_zero(a) || real_is_zero(b)) {
        real_set_signed_zero(dst, negative);
        return 0;
    }
    int64_t e = real_exponent(a) + real_exponent(b);
    uint64_t* r = real_limbs_of(dst);
    uint64_t guard = mul_limbs(n, r, real_limbs_of(a), real_limbs_of(b), 2);
    if (r[0] < kUnitLimb / 10) {
        raise_error(kErrInternal);
        real_set_zero(dst);
        return 0;
    }
    if (r[0] < kUnitLimb) {
        limbs_shift_left_digits(r, n, &guard, 1);
    } else {
        ++e;
    }
    real_set_exponent(dst, e, negative);
    return real_is_zero(dst) ? 0 : guard;
}

uint64_t real_mul_word(RealNum* dst, const RealNum* a, uint64_t w) {
    const int n = precision();
    const bool negative = real_is_negative(a);
    const int64_t e = real_exponent(a);
    uint64_t* r = real_limbs_of(dst);
    uint64_t guard = mul_word(n, r, real_limbs_of(a), w);
    const int s = limbs_normalize(r, n, &guard);
    if (r[0] == 0) {
        real_set_signed_zero(dst, negative);
        return 0;
    }
    if (s > 19) {
        raise_error(kErrInternal);
        real_set_zero(dst);
        return 0;
    }
    real_set_exponent(dst, e + 19 - s, negative);
    return real_is_zero(dst) ? 0 : guard;
}

uint64_t real_div_word(RealNum* dst, const RealNum* a, uint64_t w) {
    const int n = precision();
    if (w == 0) {
        raise_error(kErrDivByZero);
        real_set_zero(dst);
        return 0;
    }
    if (real_is_zero(a)) {
        real_copy(dst, a);
        return 0;
    }
    const bool negative = real_is_negative(a);
    int64_t e = real_exponent(a);
    const uint64_t* src = real_limbs_of(a);
    uint64_t* r = real_limbs_of(dst);
    uint64_t guard;
    if (w > src[0]) {
        guard = div_word_shifted(n, r, src, w);
        e -= 19;
    } else {
        guard = div_word(n, r, src, w);
    }
    if (r[0] == 0) {
        raise_error(kErrInternal);
        real_set_zero(dst);
        return 0;
    }
    const int t = leading_zero_digits(r[0]);
    limbs_shift_left_digits(r, n, &guard, t);
    real_set_exponent(dst, e - t, negative);
    return real_is_zero(dst) ? 0 : guard;
}

uint64_t real_div(RealNum* dst, const RealNum* a, const RealNum* b) {
    ScratchFrame frame;
    RealNum* inverse = scratch_real();
    real_reciprocal(inverse, b);
    return real_mul(dst, a, inverse);
}

// Newton's iteration x = x * (2 - a' * x) on the mantissa a' in [1, 10), at full precision from the first step;
// the correct digits double from the 18 of the seed.
void real_reciprocal(RealNum* dst, const RealNum* a) {
    const int n = precision();
    if (real_is_zero(a)) {
        raise_error(kErrDivByZero);
        real_set_zero(dst);
        return;
    }
    const int64_t e = real_exponent(a);
    const bool negative = real_is_negative(a);

    ScratchFrame frame;
    RealNum* mantissa = scratch_real();
    RealNum* t = scratch_real();
    RealNum* two = scratch_real();
    real_copy(mantissa, a);
    mantissa[0] = 0;
    const uint64_t first = mantissa[1];
    real_set_zero(dst);
    if (first < kUnitLimb) {
        raise_error(kErrInternal);
        return;
    }
    if (first == kUnitLimb) {
        dst[1] = kUnitLimb;
    } else {
        dst[1] = recip_seed(first);
        set_header(dst, -1, false);
    }
    if (n >= 2) {
        real_from_u64(two, 2);
        const int64_t target = target_digits();
        int64_t digits = 18;
        do {
            real_mul(t, mantissa, dst);
            real_add_sub(t, two, t, 1);
            real_mul(dst, dst, t);
            digits *= 2;
        } while (digits < target);
    }
    dst[0] = (dst[0] & ~uint64_t{1}) | (negative ? 1u : 0u);
    real_add_exponent(dst, -e);
}

// Heron's iteration x = (x + y / x) / 2 on y = mantissa * 10^(E mod 2) in [1, 100), seeded with the 19-digit
// extended-precision square root of the first limb.
void real_sqrt(RealNum* dst, const RealNum* a) {
    const int n = precision();
    if (real_is_zero(a)) {
        real_copy(dst, a);
        return;
    }
    if (real_is_negative(a)) {
        raise_error(kErrDomain);
        real_set_zero(dst);
        return;
    }
    const int64_t e = real_exponent(a);
    const int p = static_cast<int>(e & 1);

    ScratchFrame frame;
    RealNum* y = scratch_real();
    RealNum* t = scratch_real();
    real_copy(y, a);
    set_header(y, p, false);

    const uint16_t control = extended_begin();
    const ExtendedFloat square = extended_mul_u64(extended_from_u64(y[1]), p ? kB : kUnitLimb);
    uint64_t seed = extended_to_u64(extended_sqrt(square));
    extended_end(control);
    if (seed < kUnitLimb) seed = kUnitLimb;
    if (seed > kB - 1) seed = kB - 1;

    real_set_zero(dst);
    dst[1] = seed;
    if (n >= 2) {
        // The seed comes from the first limb alone, so near y = 1 it is good to about 18.3 digits, not 19:
        // counting from 18.0 digits adds the step that a count from 19.0 would miss at some precisions, where
        // the last step would otherwise leave hundreds of wrong digits.
        const int64_t target = 10 * target_digits();
        int64_t tenths = 180;
        do {
            real_div(t, y, dst);
            real_add_sub(dst, dst, t, 0);
            real_div_word(dst, dst, 2);
            tenths *= 2;
        } while (tenths < target);
    }
    real_add_exponent(dst, e >> 1);  // floor(E / 2)
}

// Newton's iteration x = (2x + y / x^2) / 3 on y = |mantissa| * 10^(E mod 3) in [1, 1000), seeded with the
// 17-digit extended-precision cube root of the first limb.
void real_cbrt(RealNum* dst, const RealNum* a) {
    if (real_is_zero(a)) {
        real_copy(dst, a);
        return;
    }
    const bool negative = real_is_negative(a);
    const int64_t e = real_exponent(a);
    int64_t r = e - 3 * (e / 3);
    if (r < 0) r += 3;

    ScratchFrame frame;
    RealNum* y = scratch_real();
    RealNum* t1 = scratch_real();
    RealNum* t2 = scratch_real();
    real_copy(y, a);
    set_header(y, r, false);

    static const ExtendedFloat kScale[3] = {1e36L, 1e37L, 1e38L};
    constexpr ExtendedFloat kOneThird = 1.0L / 3.0L;
    const uint16_t control = extended_begin();
    const ExtendedFloat cube = extended_from_u64(y[1]) * kScale[r];
    uint64_t seed = extended_to_u64(extended_pow(cube, kOneThird));
    extended_end(control);
    if (seed < kUnitLimb) seed = kUnitLimb;
    if (seed > kB - 1) seed = kB - 1;

    real_set_zero(dst);
    dst[1] = seed;
    const int64_t target = 10 * target_digits();
    int64_t tenths = 170;
    do {
        real_mul_word(t1, dst, 2);
        real_mul(t2, dst, dst);
        real_div(t2, y, t2);
        real_add_sub(dst, t1, t2, 0);
        real_div_word(dst, dst, 3);
        tenths *= 2;
    } while (tenths < target);
    real_add_exponent(dst, e >= 0 ? e / 3 : (e - 2) / 3);  // floor(E / 3)
    if (negative && !real_is_zero(dst)) dst[0] |= 1;
}

// Binary powering from the least significant bit of |n|; a negative n takes the reciprocal at the end.
void real_pow_int(RealNum* dst, const RealNum* a, int64_t n) {
    if (n == 0) {
        real_set_one(dst);
        return;
    }
    if (real_is_zero(a)) {
        if (n < 0) raise_error(kErrDomain);
        real_set_zero(dst);
        return;
    }
    ScratchFrame frame;
    RealNum* base = scratch_real();
    real_copy(base, a);
    uint64_t k = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    bool first = true;
    for (;;) {
        if (k & 1) {
            if (first) {
                real_copy(dst, base);
                first = false;
            } else {
                real_mul(dst, dst, base);
            }
        }
        k >>= 1;
        if (k == 0) break;
        real_mul(base, base, base);
    }
    if (n < 0) real_reciprocal(dst, dst);
}

// The squares of the two mantissas are added at the relative scale 10^(2d), so the exponents themselves are
// never squared.
void real_hypot(RealNum* dst, const RealNum* a, const RealNum* b) {
    if (real_is_zero(a) || real_is_zero(b)) {
        real_copy(dst, real_is_zero(a) ? b : a);
        dst[0] &= ~uint64_t{1};
        return;
    }
    const int64_t ea = real_exponent(a);
    const int64_t eb = real_exponent(b);
    const int64_t d = ea >= eb ? ea - eb : eb - ea;
    if (d > 19 * static_cast<int64_t>(precision())) {
        real_copy(dst, ea >= eb ? a : b);
        dst[0] &= ~uint64_t{1};
        return;
    }
    ScratchFrame frame;
    RealNum* sa = scratch_real();
    RealNum* sb = scratch_real();
    real_copy(sa, a);
    sa[0] = 0;
    real_mul(sa, sa, sa);
    real_copy(sb, b);
    sb[0] = 0;
    real_mul(sb, sb, sb);
    real_add_exponent(ea >= eb ? sa : sb, 2 * d);
    real_add_sub(sa, sa, sb, 0);
    real_sqrt(dst, sa);
    real_add_exponent(dst, ea < eb ? ea : eb);
}
