#include "numeric/real_functions.h"

#include "numeric/real_arith.h"

namespace {

constexpr uint64_t kTenPow10 = 10000000000ull;

// First nine significant digits as an integer in [10^8, 10^9) (0 for a zero): 115200000 stands for 1.152.
uint32_t mantissa9(const RealNum* x) {
    return static_cast<uint32_t>(x[1] / kTenPow10);
}

// |x| >= (m9 / 10^8) * 10^e for a threshold with at most nine significant digits; false for a zero x.
bool abs_at_least(const RealNum* x, uint32_t m9, int64_t e) {
    if (real_is_zero(x)) return false;
    int64_t ex = real_exponent(x);
    return ex > e || (ex == e && x[1] >= m9 * kTenPow10);
}

void abs_copy(RealNum* dst, const RealNum* x) {
    real_copy(dst, x);
    dst[0] &= ~uint64_t{1};
}

void add_word(RealNum* dst, const RealNum* a, uint64_t w, int subtract) {
    ScratchFrame frame;
    RealNum* t = scratch_real();
    real_from_u64(t, w);
    real_add_sub(dst, a, t, subtract);
}

void word_sub(RealNum* dst, uint64_t w, const RealNum* a) {
    ScratchFrame frame;
    RealNum* t = scratch_real();
    real_from_u64(t, w);
    real_add_sub(dst, t, a, 1);
}

void fail_domain(RealNum* dst) {
    raise_error(kErrDomain);
    real_set_zero(dst);
}

// Digits a series must reach: it stops once the term lies this many decimal places below the sum.
int64_t series_digits() {
    return 19 * static_cast<int64_t>(num_ctx.real_limbs) - static_cast<int64_t>(num_ctx.guard_digit_reduction) - 1;
}

// A series stops after a step that raised an error, produced a zero term, or added a term below the last digit.
bool series_done(const RealNum* sum, const RealNum* term, int64_t digits) {
    return num_ctx.error_code != 0 || real_is_zero(term) || real_exponent(sum) - real_exponent(term) >= digits;
}

// Hides an error that was pending before a series so that its stopping rule sees only errors raised inside it;
// the older error is put back afterwards (first error wins).
struct PendingErrorScope {
    uint32_t saved;
    PendingErrorScope() : saved(num_ctx.error_code) { num_ctx.error_code = 0; }
    ~PendingErrorScope() {
        if (saved != 0) num_ctx.error_code = saved;
    }
    PendingErrorScope(const PendingErrorScope&) = delete;
    PendingErrorScope& operator=(const PendingErrorScope&) = delete;
};

// ---- Series ----------------------------------------------------------------------------------------------------

// sum = e^f = sum of f^k / k!.
void series_exp(RealNum* sum, const RealNum* f) {
    ScratchFrame frame;
    RealNum* term = scratch_real();
    PendingErrorScope scope;
    const int64_t digits = series_digits();
    real_set_one(sum);
    real_set_one(term);
    for (uint64_t k = 1;; ++k) {
        real_mul(term, term, f);
        real_div_word(term, term, k);
        real_add_sub(sum, sum, term, 0);
        if (series_done(sum, term, digits)) break;
    }
}

// sum = sum of x^(2i + start) / (2i + start)! with start 1 (sine-like) or 0 (cosine-like), each term made from the
// last by x^2 / ((k + 1) k); alternating signs give sin and cos, none sinh.
void series_factorial_steps(RealNum* sum, const RealNum* x, bool odd, bool alternating) {
    ScratchFrame frame;
    RealNum* term = scratch_real();
    RealNum* x2 = scratch_real();
    PendingErrorScope scope;
    const int64_t digits = series_digits();
    real_mul(x2, x, x);
    if (odd) {
        real_copy(term, x);
        real_copy(sum, x);
    } else {
        real_set_one(term);
        real_set_one(sum);
    }
    for (uint64_t k = odd ? 2 : 1;; k += 2) {
        real_mul(term, term, x2);
        real_div_word(term, term, (k + 1) * k);
        if (alternating) real_negate(term);
        real_add_sub(sum, sum, term, 0);
        if (series_done(sum, term, digits)) break;
    }
}

// sum = r - r^3/3! + r^5/5! - ...
void series_sin(RealNum* sum, const RealNum* r) {
    series_factorial_steps(sum, r, true, true);
}

// sum = 1 - r^2/2! + r^4/4! - ...
void series_cos(RealNum* sum, const RealNum* r) {
    series_factorial_steps(sum, r, false, true);
}

// Sine and cosine from one run over the terms (-r^2)^i / (2i)!: each term is added to the cosine sum, then divided
// once more for the sine sum, so that sin r = s * r and cos r = c. The stopping rule watches s.
void series_sin_cos(RealNum* sin_r, RealNum* cos_r, const RealNum* r) {
    ScratchFrame frame;
    RealNum* term = scratch_real();
    RealNum* r2 = scratch_real();
    {
        PendingErrorScope scope;
        const int64_t digits = series_digits();
        real_mul(r2, r, r);
        real_set_one(term);
        real_set_one(sin_r);
        real_set_one(cos_r);
        for (uint64_t k = 2;; k += 2) {
            real_mul(term, term, r2);
            real_negate(term);
            real_div_word(term, term, k);
            real_add_sub(cos_r, cos_r, term, 0);
            real_div_word(term, term, k + 1);
            real_add_sub(sin_r, sin_r, term, 0);
            if (series_done(sin_r, term, digits)) break;
        }
    }
    real_mul(sin_r, sin_r, r);
}

// sum = x + x^3/3 + x^5/5 + ... (x small), with alternating signs for arctan and without for artanh.
void series_odd_powers(RealNum* sum, const RealNum* x, bool alternating) {
    ScratchFrame frame;
    RealNum* p = scratch_real();
    RealNum* x2 = scratch_real();
    RealNum* term = scratch_real();
    PendingErrorScope scope;
    const int64_t digits = series_digits();
    real_mul(x2, x, x);
    real_copy(p, x);
    real_copy(sum, x);
    for (uint64_t k = 1;; k += 2) {
        real_mul(p, p, x2);
        if (alternating) real_negate(p);
        real_div_word(term, p, k + 2);
        real_add_sub(sum, sum, term, 0);
        if (series_done(sum, term, digits)) break;
    }
}

void series_atan(RealNum* sum, const RealNum* a) {
    series_odd_powers(sum, a, true);
}

void series_atanh(RealNum* sum, const RealNum* x) {
    series_odd_powers(sum, x, false);
}

// sum = x + x^3/3! + x^5/5! + ... (x small).
void series_sinh(RealNum* sum, const RealNum* x) {
    series_factorial_steps(sum, x, true, false);
}

// sum = a - (1/2) a^3/3 + (1*3)/(2*4) a^5/5 - ..., each term from the last by -a^2 k^2 / ((k+1)(k+2)).
void series_asinh(RealNum* sum, const RealNum* a) {
    ScratchFrame frame;
    RealNum* term = scratch_real();
    RealNum* a2 = scratch_real();
    PendingErrorScope scope;
    const int64_t digits = series_digits();
    real_mul(a2, a, a);
    real_copy(term, a);
    real_copy(sum, a);
    for (uint64_t k = 1;; k += 2) {
        real_mul(term, term, a2);
        if (k > 1) real_mul_word(term, term, k * k);
        real_div_word(term, term, (k + 1) * (k + 2));
        real_negate(term);
        real_add_sub(sum, sum, term, 0);
        if (series_done(sum, term, digits)) break;
    }
}

// ---- Exponential -----------------------------------------------------------------------------------------------

enum class ExpBase { kE, kTwo, kTen };

// 10^t with t = x * log10(base): 10^n * e^f with n the integer part of t and f = (t - n) * ln 10, f brought below
// about 0.0912 by ln 10 and by multiples of ln 1.2 before the series.
void exp_any_base(RealNum* dst, const RealNum* x, ExpBase base) {
    ScratchFrame frame;
    RealNum* t = scratch_real();
    RealNum* f = scratch_real();
    RealNum* c = scratch_real();
    switch (base) {
        case ExpBase::kE:
            get_constant(c, kConstInvLn10);
            real_mul(t, x, c);
            break;
        case ExpBase::kTwo:
            get_constant(c, kConstLog10Of2);
            real_mul(t, x, c);
            break;
        case ExpBase::kTen:
            real_copy(t, x);
            break;
    }
    int64_t n = 0;
    if (!real_to_i64(&n, t, kToIntQuiet | kToIntTruncate)) {
        if (!real_is_negative(x)) {
            raise_error(kErrOverflow);
        } else if (num_ctx.underflow_is_error) {
            raise_error(kErrUnderflow);
        }
        real_set_zero(dst);
        return;
    }
    real_from_i64(c, n);
    real_add_sub(f, t, c, 1);
    get_constant(c, kConstLn10);
    real_mul(f, f, c);

    int s = 0;
    if (!real_is_zero(f) && real_exponent(f) == 0 && mantissa9(f) >= 115200000) {
        s = real_is_negative(f) ? -1 : 1;
        real_add_sub(f, f, c, s > 0 ? 1 : 0);
    }

    int j = 0;
    if (!real_is_zero(f)) {
        const uint32_t m = mantissa9(f);
        switch (real_exponent(f)) {
            case 0:
                j = m < 100200001 ? 5 : 6;
                break;
            case -1:
                j = m < 273400001 ? 1 : m < 455800001 ? 2 : m < 638100001 ? 3 : m < 820400001 ? 4 : 5;
                break;
            case -2:
                j = m >= 911600001 ? 1 : 0;
                break;
            default:
                break;
        }
    }
    const bool f_negative = real_is_negative(f);
    if (j > 0) {
        get_constant(c, kConstLn1_2);
        real_mul_word(c, c, static_cast<uint64_t>(j));
        real_add_sub(f, f, c, f_negative ? 0 : 1);
    }

    series_exp(t, f);

    if (j > 0) {
        uint64_t power = 1;
        for (int i = 0; i < j; ++i) power *= 12;
        if (!f_negative) {
            real_mul_word(t, t, power);
            real_add_exponent(t, -j);
        } else {
            real_div_word(t, t, power);
            real_add_exponent(t, j);
        }
    }
    // The intermediate exponents stay small, so adding s and n one after the other equals adding s + n.
    real_add_exponent(t, s);
    real_add_exponent(t, n);
    real_copy(dst, t);
}

// e^x and its reciprocal for the hyperbolic functions. An e^x that underflowed to zero stands for a result that
// overflows, which raises 10.
bool exp_pair(RealNum* e, RealNum* e_inverse, const RealNum* x) {
    exp_any_base(e, x, ExpBase::kE);
    if (real_is_zero(e)) {
        raise_error(kErrOverflow);
        return false;
    }
    real_reciprocal(e_inverse, e);
    return true;
}

// ---- Logarithm -------------------------------------------------------------------------------------------------

// Dividing y by multiplier[j-1] and raising E(y) by step*j divides y by base^j (base = 1.2 or 1.01). The
// thresholds are base^(j - 1/2) and base^-(j - 1/2) as nine-digit mantissas.
struct LnReductionTable {
    int constant;
    int64_t step;
    int count;
    uint64_t multiplier[9];
    uint32_t at_least_one[9];
    uint32_t below_one[9];
};

const LnReductionTable kLn1_2Table = {
    kConstLn1_2,
    1,
    6,
    {12, 144, 1728, 20736, 248832, 2985984},
    {109544511, 131453413, 157744096, 189292915, 227151499, 272581798},
    {912870929, 760725774, 633938145, 528281787, 440234823, 366862352},
};

const LnReductionTable kLn1_01Table = {
    kConstLn1_01,
    2,
    9,
    {101, 10201, 1030301, 104060401, 10510100501ull, 1061520150601ull, 107213535210701ull, 10828567056280801ull,
     1093685272684360901ull},
    {100498756, 101503743, 102518781, 103543969, 104579408, 105625202, 106681454, 107748269, 108825752},
    {995037190, 985185336, 975431026, 965773293, 956211181, 946743744, 937370043, 928089152, 918900150},
};

// Brings y (in [0.316, 3.163]) to within base^(1/2) of 1 by the largest fitting power base^j; b receives the
// logarithm taken out, j * ln(base) with the sign of the step. Returns false (b untouched) when j = 0.
bool ln_reduce(RealNum* y, RealNum* b, const LnReductionTable& table) {
    const uint32_t m = mantissa9(y);
    const bool at_least_one = real_exponent(y) >= 0;
    int j = 0;
    for (int i = 0; i < table.count; ++i) {
        if (at_least_one ? table.at_least_one[i] <= m : table.below_one[i] >= m) j = i + 1;
    }
    if (j == 0) return false;
    get_constant(b, table.constant);
    real_mul_word(b, b, static_cast<uint64_t>(j));
    if (at_least_one) {
        real_div_word(y, y, table.multiplier[j - 1]);
        real_add_exponent(y, table.step * j);
    } else {
        real_mul_word(y, y, table.multiplier[j - 1]);
        real_add_exponent(y, -table.step * j);
        real_negate(b);
    }
    return true;
}

// ln x = ln y + e ln 10 + b1 + b2, where y is the mantissa of x brought near 1 by the two tables and
// ln y = 2 atanh((y - 1)/(y + 1)).
void ln_positive(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* y = scratch_real();
    RealNum* a = scratch_real();
    RealNum* b1 = scratch_real();
    RealNum* b2 = scratch_real();
    RealNum* t = scratch_real();

    int64_t e = real_exponent(x);
    real_copy(y, x);
    if (mantissa9(x) > 316227766) {
        real_set_exponent(y, -1, false);
        e += 1;
    } else {
        real_set_exponent(y, 0, false);
    }
    if (e != 0) {
        get_constant(a, kConstLn10);
        real_mul_word(a, a, e < 0 ? static_cast<uint64_t>(-e) : static_cast<uint64_t>(e));
        if (e < 0) real_negate(a);
    }
    const bool has_b1 = ln_reduce(y, b1, kLn1_2Table);
    const bool has_b2 = ln_reduce(y, b2, kLn1_01Table);

    add_word(t, y, 1, 1);
    add_word(y, y, 1, 0);
    real_div(t, t, y);
    series_atanh(y, t);
    real_mul_word(y, y, 2);

    // Zero terms are left out: adding a zero returns the other operand unchanged.
    if (e != 0) real_add_sub(y, y, a, 0);
    if (has_b1) real_add_sub(y, y, b1, 0);
    if (has_b2) real_add_sub(y, y, b2, 0);
    real_copy(dst, y);
}

void ln_scaled(RealNum* dst, const RealNum* x, int constant) {
    if (real_is_zero(x) || real_is_negative(x)) {
        fail_domain(dst);
        return;
    }
    ScratchFrame frame;
    RealNum* c = scratch_real();
    ln_positive(dst, x);
    get_constant(c, constant);
    real_mul(dst, dst, c);
}

// ---- Circular functions ----------------------------------------------------------------------------------------

enum class Circular { kSine, kCosine, kTangent };

// |x| = n pi/4 + r' with n = floor(|x| 4/pi); o = n mod 8 picks the octant, and r = r' - pi/4 for odd o keeps
// |r| <= pi/4 so that |x| = q pi/2 + r.
void circular(RealNum* dst, const RealNum* x, Circular kind) {
    ScratchFrame frame;
    RealNum* r = scratch_real();
    RealNum* c = scratch_real();
    RealNum* q = scratch_real();
    const bool x_negative = real_is_negative(x);

    abs_copy(r, x);
    get_constant(c, kConst4DivPi);
    real_mul(q, r, c);
    uint64_t n = 0;
    if (!real_to_u64(&n, q, kToIntQuiet | kToIntTruncate)) {
        fail_domain(dst);
        return;
    }
    get_constant(c, kConstPiDiv4);
    if (n != 0) {
        real_mul_word(q, c, n);
        real_add_sub(r, r, q, 1);
    }
    const unsigned o = static_cast<unsigned>(n & 7);
    if (o & 1) real_add_sub(r, r, c, 1);
    const bool swapped = o == 1 || o == 2 || o == 5 || o == 6;

    switch (kind) {
        case Circular::kSine:
            if (swapped) {
                series_cos(q, r);
            } else {
                series_sin(q, r);
            }
            if (o >= 3 && o <= 6) real_negate(q);
            if (x_negative) real_negate(q);
            if (real_is_zero(q)) real_set_signed_zero(q, x_negative);
            break;
        case Circular::kCosine:
            if (swapped) {
                series_sin(q, r);
            } else {
                series_cos(q, r);
            }
            if (o >= 1 && o <= 4) real_negate(q);
            break;
        case Circular::kTangent:
            series_sin_cos(c, q, r);
            if (swapped) {
                real_div(q, q, c);
                real_negate(q);
            } else {
                real_div(q, c, q);
            }
            if (x_negative) real_negate(q);
            break;
    }
    real_copy(dst, q);
}

// atan of |x| <= 1 after reduction: by pi/4 via (a - 1)/(a + 1) near 1, by atan 0.20, 0.42 or 0.67 via
// (a - b)/(1 + a b) in between, and no reduction below 0.11.
void atan_unit(RealNum* dst, const RealNum* a_in) {
    ScratchFrame frame;
    RealNum* a = scratch_real();
    RealNum* num = scratch_real();
    RealNum* den = scratch_real();
    real_copy(a, a_in);
    int constant = -1;
    const uint32_t m = mantissa9(a);
    const int64_t e = real_exponent(a);
    if (!real_is_zero(a) && (e >= 0 || (e == -1 && m >= 821700000))) {
        add_word(num, a, 1, 1);
        add_word(den, a, 1, 0);
        real_div(a, num, den);
        constant = kConstPiDiv4;
    } else if (!real_is_zero(a) && e == -1 && m >= 110000000) {
        uint64_t b100;
        if (m < 306600000) {
            b100 = 20;
            constant = kConstAtan0_2;
        } else if (m < 538500000) {
            b100 = 42;
            constant = kConstAtan0_42;
        } else {
            b100 = 67;
            constant = kConstAtan0_67;
        }
        // (a - b)/(1 + a b) scaled by 100 so that b enters as the word 100 b.
        real_mul_word(num, a, 100);
        add_word(num, num, b100, 1);
        real_mul_word(den, a, b100);
        add_word(den, den, 100, 0);
        real_div(a, num, den);
    }
    series_atan(dst, a);
    if (constant >= 0) {
        get_constant(num, constant);
        real_add_sub(dst, dst, num, 0);
    }
}

// ---- Factorial -------------------------------------------------------------------------------------------------

constexpr int64_t kTangentTableMaxEntries = 3000;

// Boustrophedon table of the tangent numbers in factorial_cache, one RealNum per entry at a stride of L + 1 words.
// It starts as [1] with T(1) in entry 0; every advance runs a forward and a growing backward pass, after which
// entry 0 holds the next tangent number T(2k-1).
struct TangentTable {
    uint64_t* base;
    int64_t stride;
    int64_t count;
    int64_t capacity;
};

RealNum* tangent_entry(const TangentTable& table, int64_t i) {
    return table.base + i * table.stride;
}

bool tangent_start(TangentTable* table) {
    table->base = factorial_cache_region();
    table->stride = static_cast<int64_t>(num_ctx.real_limbs) + 1;
    table->count = 1;
    // The region holds 3000 entries up to 527 limbs; at 528 (a guard limb on 527) only 2994 fit.
    const int64_t fits = static_cast<int64_t>(kFactorialCacheBytes / 8) / table->stride;
    table->capacity = fits < kTangentTableMaxEntries ? fits : kTangentTableMaxEntries;
    if (table->base == nullptr) {
        raise_error(kErrFactorialTable);
        return false;
    }
    real_set_one(tangent_entry(*table, 0));
    return true;
}

bool tangent_advance(TangentTable* table) {
    const int64_t count = table->count;
    if (count + 2 > table->capacity) {
        raise_error(kErrFactorialTable);
        return false;
    }
    for (int64_t i = 1; i < count; ++i) {
        real_add_sub(tangent_entry(*table, i), tangent_entry(*table, i), tangent_entry(*table, i - 1), 0);
    }
    real_copy(tangent_entry(*table, count + 1), tangent_entry(*table, count - 1));
    for (int64_t i = count; i >= 1; --i) {
        real_add_sub(tangent_entry(*table, i), tangent_entry(*table, i - 1), tangent_entry(*table, i + 1), 0);
    }
    real_copy(tangent_entry(*table, 0), tangent_entry(*table, 1));
    table->count = count + 2;
    return true;
}

// n! = 2 * 3 * ... * n with truncated word products. An error inside (overflow) makes the result +0; an error
// pending before keeps its place.
void factorial_product(RealNum* dst, uint64_t n) {
    ScratchFrame frame;
    RealNum* r = scratch_real();
    bool failed;
    {
        PendingErrorScope scope;
        real_set_one(r);
        for (uint64_t k = 2; k <= n && num_ctx.error_code == 0; ++k) real_mul_word(r, r, k);
        failed = num_ctx.error_code != 0;
    }
    if (failed) {
        real_set_zero(dst);
    } else {
        real_copy(dst, r);
    }
}

// Stirling's series: n! = sqrt(2 pi n) (n/e)^n exp(S) with S = sum of B(2k) / (2k (2k-1) n^(2k-1)), whose k-th term
// is T(2k-1) / ((4^k - 16^k)(2k - 1) n^(2k-1)), negated for odd k.
void factorial_stirling(RealNum* dst, uint64_t n) {
    ScratchFrame frame;
    RealNum* sum = scratch_real();
    RealNum* p4 = scratch_real();
    RealNum* p16 = scratch_real();
    RealNum* npow = scratch_real();
    RealNum* n2 = scratch_real();
    RealNum* den = scratch_real();
    RealNum* term = scratch_real();

    bool failed;
    {
        PendingErrorScope scope;
        const int64_t digits = 19 * static_cast<int64_t>(num_ctx.real_limbs) - 1;
        real_set_zero(sum);
        real_set_one(p4);
        real_set_one(p16);
        real_from_u64(npow, n);
        real_mul(n2, npow, npow);
        TangentTable table;
        if (tangent_start(&table)) {
            for (uint64_t k = 1;; ++k) {
                if (k > 1 && !tangent_advance(&table)) break;
                real_mul_word(p4, p4, 4);
                real_mul_word(p16, p16, 16);
                real_add_sub(den, p4, p16, 1);
                real_mul_word(den, den, 2 * k - 1);
                real_mul(den, den, npow);
                real_div(term, tangent_entry(table, 0), den);
                if (k & 1) real_negate(term);
                real_add_sub(sum, sum, term, 0);
                if (series_done(sum, term, digits)) break;
                real_mul(npow, npow, n2);
            }
        }
        failed = num_ctx.error_code != 0;
    }
    if (failed) {
        real_set_zero(dst);
        return;
    }
    RealNum* root = p4;
    get_constant(root, kConstPiDiv2);
    real_mul_word(root, root, 2);
    real_mul_word(root, root, 2 * n);
    real_sqrt(root, root);

    RealNum* power = p16;
    real_set_one(power);
    real_negate(power);
    exp_any_base(power, power, ExpBase::kE);
    real_mul_word(power, power, n);
    real_pow_int(power, power, static_cast<int64_t>(n));

    real_mul(root, root, power);
    exp_any_base(sum, sum, ExpBase::kE);
    real_mul(dst, root, sum);
}

}  // namespace

// ---- Exponential family and logarithms -------------------------------------------------------------------------

void real_exp(RealNum* dst, const RealNum* x) {
    exp_any_base(dst, x, ExpBase::kE);
}
void real_exp2(RealNum* dst, const RealNum* x) {
    exp_any_base(dst, x, ExpBase::kTwo);
}
void real_exp10(RealNum* dst, const RealNum* x) {
    exp_any_base(dst, x, ExpBase::kTen);
}

void real_ln(RealNum* dst, const RealNum* x) {
    if (real_is_zero(x) || real_is_negative(x)) {
        fail_domain(dst);
        return;
    }
    ln_positive(dst, x);
}

void real_log2(RealNum* dst, const RealNum* x) {
    ln_scaled(dst, x, kConstInvLn2);
}
void real_log10(RealNum* dst, const RealNum* x) {
    ln_scaled(dst, x, kConstInvLn10);
}

// ln(1 + x) = 2 atanh(x / (x + 2)).
void real_log1p(RealNum* dst, const RealNum* x) {
    if (real_compare_i64(x, -1) <= 0) {
        fail_domain(dst);
        return;
    }
    ScratchFrame frame;
    RealNum* t = scratch_real();
    add_word(t, x, 2, 0);
    real_div(t, x, t);
    real_atanh(t, t);
    real_mul_word(dst, t, 2);
}

// ---- Powers and roots ------------------------------------------------------------------------------------------

void real_pow(RealNum* dst, const RealNum* x, const RealNum* y) {
    if (real_is_zero(y)) {
        real_set_one(dst);
        return;
    }
    if (real_is_zero(x)) {
        if (real_is_negative(y)) {
            fail_domain(dst);
        } else {
            real_set_zero(dst);
        }
        return;
    }
    const bool x_negative = real_is_negative(x);
    bool negate = false;
    if (x_negative) {
        if (!real_is_integer(y)) {
            fail_domain(dst);
            return;
        }
        negate = !real_is_even(y);
    }
    ScratchFrame frame;
    RealNum* t = scratch_real();
    abs_copy(t, x);
    ln_positive(t, t);
    real_mul(t, t, y);
    exp_any_base(dst, t, ExpBase::kE);
    if (negate) real_negate(dst);
}

void real_root(RealNum* dst, const RealNum* x, const RealNum* y) {
    if (real_is_zero(y)) {
        fail_domain(dst);
        return;
    }
    if (real_is_zero(x)) {
        if (real_is_negative(y)) {
            fail_domain(dst);
        } else {
            real_copy(dst, x);
        }
        return;
    }
    const bool x_negative = real_is_negative(x);
    if (x_negative && (!real_is_integer(y) || real_is_even(y))) {
        fail_domain(dst);
        return;
    }
    ScratchFrame frame;
    RealNum* t = scratch_real();
    abs_copy(t, x);
    ln_positive(t, t);
    real_div(t, t, y);
    exp_any_base(dst, t, ExpBase::kE);
    if (x_negative) real_negate(dst);
}

void real_root_int(RealNum* dst, const RealNum* x, int64_t n) {
    if (n == 0) {
        fail_domain(dst);
        return;
    }
    if (real_is_zero(x)) {
        if (n < 0) {
            fail_domain(dst);
        } else {
            real_copy(dst, x);
        }
        return;
    }
    const bool x_negative = real_is_negative(x);
    if (x_negative && (n & 1) == 0) {
        fail_domain(dst);
        return;
    }
    const uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    ScratchFrame frame;
    RealNum* t = scratch_real();
    abs_copy(t, x);
    ln_positive(t, t);
    real_div_word(t, t, magnitude);
    if (n < 0) real_negate(t);
    exp_any_base(dst, t, ExpBase::kE);
    if (x_negative) real_negate(dst);
}

// ---- Circular functions and their inverses ---------------------------------------------------------------------

void real_sin(RealNum* dst, const RealNum* x) {
    circular(dst, x, Circular::kSine);
}
void real_cos(RealNum* dst, const RealNum* x) {
    circular(dst, x, Circular::kCosine);
}
void real_tan(RealNum* dst, const RealNum* x) {
    circular(dst, x, Circular::kTangent);
}

void real_atan(RealNum* dst, const RealNum* x) {
    if (real_is_zero(x)) {
        real_copy(dst, x);
        return;
    }
    ScratchFrame frame;
    RealNum* a = scratch_real();
    const bool x_negative = real_is_negative(x);
    abs_copy(a, x);
    const bool inverted = real_compare_i64(a, 1) > 0;
    if (inverted) real_reciprocal(a, a);
    atan_unit(a, a);
    if (inverted) {
        RealNum* c = scratch_real();
        get_constant(c, kConstPiDiv2);
        real_add_sub(a, c, a, 1);
    }
    if (x_negative) real_negate(a);
    real_copy(dst, a);
}

// asin x = atan(x / sqrt((1 - x)(1 + x))).
void real_asin(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* u = scratch_real();
    RealNum* v = scratch_real();
    abs_copy(u, x);
    const int vs_one = real_compare_i64(u, 1);
    if (vs_one > 0) {
        fail_domain(dst);
        return;
    }
    if (vs_one == 0) {
        const bool negative = real_is_negative(x);
        get_constant(dst, kConstPiDiv2);
        if (negative) real_negate(dst);
        return;
    }
    word_sub(u, 1, x);
    add_word(v, x, 1, 0);
    real_mul(u, u, v);
    real_sqrt(u, u);
    real_div(u, x, u);
    real_atan(dst, u);
}

// acos x = 2 atan(sqrt((1 - x)/(1 + x))).
void real_acos(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* u = scratch_real();
    RealNum* v = scratch_real();
    abs_copy(u, x);
    const int vs_one = real_compare_i64(u, 1);
    if (vs_one > 0) {
        fail_domain(dst);
        return;
    }
    if (vs_one == 0) {
        if (real_is_negative(x)) {
            get_constant(dst, kConstPiDiv4);
            real_mul_word(dst, dst, 4);
        } else {
            real_set_zero(dst);
        }
        return;
    }
    word_sub(u, 1, x);
    add_word(v, x, 1, 0);
    real_div(u, u, v);
    real_sqrt(u, u);
    real_atan(u, u);
    real_mul_word(dst, u, 2);
}

void real_atan2(RealNum* dst, const RealNum* y, const RealNum* x) {
    ScratchFrame frame;
    RealNum* t = scratch_real();
    const bool y_negative = !real_is_zero(y) && real_is_negative(y);
    if (real_is_zero(x)) {
        if (real_is_zero(y)) {
            real_set_zero(dst);
            return;
        }
        get_constant(dst, kConstPiDiv2);
        if (y_negative) real_negate(dst);
        return;
    }
    const bool x_negative = real_is_negative(x);
    real_div(t, y, x);
    real_atan(t, t);
    if (x_negative) {
        RealNum* pi = scratch_real();
        get_constant(pi, kConstPiDiv2);
        real_mul_word(pi, pi, 2);
        real_add_sub(t, t, pi, y_negative ? 1 : 0);
    }
    real_copy(dst, t);
}

// ---- Hyperbolic functions and their inverses -------------------------------------------------------------------

void real_sinh(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* e = scratch_real();
    RealNum* ei = scratch_real();
    if (!abs_at_least(x, 600000000, -1)) {
        series_sinh(dst, x);
        return;
    }
    if (!exp_pair(e, ei, x)) {
        real_set_zero(dst);
        return;
    }
    real_add_sub(e, e, ei, 1);
    real_div_word(dst, e, 2);
}

void real_cosh(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* e = scratch_real();
    RealNum* ei = scratch_real();
    if (!exp_pair(e, ei, x)) {
        real_set_zero(dst);
        return;
    }
    real_add_sub(e, e, ei, 0);
    real_div_word(dst, e, 2);
}

void real_tanh(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* s = scratch_real();
    RealNum* t = scratch_real();
    if (!abs_at_least(x, 100000000, -1)) {
        // sinh x / cosh x with cosh x = e^x - sinh x, keeping full relative precision near 0.
        series_sinh(s, x);
        exp_any_base(t, x, ExpBase::kE);
        real_add_sub(t, t, s, 1);
        real_div(dst, s, t);
        return;
    }
    // Beyond c = floor(19 L 295/256) > 19 L ln(10)/2, tanh x rounds to +-1 at the working precision.
    const int64_t c = 19 * static_cast<int64_t>(num_ctx.real_limbs) * 295 / 256;
    if (real_compare_i64(x, c) > 0 || real_compare_i64(x, -c) < 0) {
        const bool negative = real_is_negative(x);
        real_set_one(dst);
        if (negative) real_negate(dst);
        return;
    }
    real_mul_word(t, x, 2);
    exp_any_base(t, t, ExpBase::kE);
    add_word(s, t, 1, 1);
    add_word(t, t, 1, 0);
    real_div(dst, s, t);
}

void real_asinh(RealNum* dst, const RealNum* x) {
    ScratchFrame frame;
    RealNum* a = scratch_real();
    RealNum* t = scratch_real();
    const bool x_negative = real_is_negative(x);
    abs_copy(a, x);
    if (!abs_at_least(a, 125000000, -1)) {
        series_asinh(t, a);
    } else if (2 * real_exponent(a) >= 19 * static_cast<int64_t>(num_ctx.real_limbs)) {
        // a^2 + 1 = a^2 at the working precision: ln(2a).
        ln_positive(t, a);
        get_constant(a, kConstLn2);
        real_add_sub(t, a, t, 0);
    } else {
        real_mul(t, a, a);
        add_word(t, t, 1, 0);
        real_sqrt(t, t);
        real_add_sub(t, a, t, 0);
        ln_positive(t, t);
    }
    if (x_negative) real_negate(t);
    real_copy(dst, t);
}

void real_acosh(RealNum* dst, const RealNum* x) {
    if (real_compare_i64(x, 1) < 0) {
        fail_domain(dst);
        return;
    }
    ScratchFrame frame;
    RealNum* s = scratch_real();
    RealNum* t = scratch_real();
    if (2 * real_exponent(x) >= 19 * static_cast<int64_t>(num_ctx.real_limbs)) {
        ln_positive(t, x);
        get_constant(s, kConstLn2);
        real_add_sub(dst, s, t, 0);
        return;
    }
    real_mul(s, x, x);
    add_word(s, s, 1, 1);
    real_sqrt(s, s);
    if (real_compare_scaled(x, 110000000, 0) >= 0) {
        real_add_sub(t, x, s, 0);
        ln_positive(dst, t);
    } else {
        add_word(t, x, 1, 1);
        real_add_sub(t, t, s, 0);
        real_log1p(dst, t);
    }
}

void real_atanh(RealNum* dst, const RealNum* x) {
    if (abs_at_least(x, 100000000, 0)) {
        fail_domain(dst);
        return;
    }
    if (!abs_at_least(x, 100000000, -2)) {
        series_atanh(dst, x);
        return;
    }
    ScratchFrame frame;
    RealNum* u = scratch_real();
    RealNum* v = scratch_real();
    add_word(u, x, 1, 0);
    word_sub(v, 1, x);
    real_div(u, u, v);
    ln_positive(u, u);
    real_div_word(dst, u, 2);
}

// ---- Factorial -------------------------------------------------------------------------------------------------

int64_t real_factorial_threshold(int limbs) {
    static constexpr int64_t kSmall[10] = {131, 367, 605, 892, 1260, 1629, 2058, 2738, 3524, 4111};
    if (limbs < 1) return kSmall[0];
    if (limbs <= 10) return kSmall[limbs - 1];
    const int64_t l = limbs;
    return (20 * l + 448) * l - 2334;
}

void real_factorial(RealNum* dst, const RealNum* x) {
    int64_t n = 0;
    if (!real_to_i64(&n, x, kToIntQuiet) || n < 0) {
        fail_domain(dst);
        return;
    }
    if (n < real_factorial_threshold(num_ctx.real_limbs)) {
        factorial_product(dst, static_cast<uint64_t>(n));
    } else {
        factorial_stirling(dst, static_cast<uint64_t>(n));
    }
}

void real_tangent_number(RealNum* dst, int64_t k) {
    if (k < 1) {
        fail_domain(dst);
        return;
    }
    TangentTable table;
    if (!tangent_start(&table)) {
        real_set_zero(dst);
        return;
    }
    for (int64_t i = 1; i < k; ++i) {
        if (!tangent_advance(&table)) {
            real_set_zero(dst);
            return;
        }
    }
    real_copy(dst, tangent_entry(table, 0));
}
