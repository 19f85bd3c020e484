// RealNum arithmetic: the documented edge cases as tables, and randomized differential tests against exact
// rational arithmetic (GMP) and high-precision roots (MPFR) over precisions from 1 to 527 limbs.
#include "numeric/real_arith.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "numeric/limb_kernels.h"
#include "numeric/num_context.h"

namespace {

constexpr uint64_t kB = 10000000000000000000ull;
constexpr uint64_t kOne = 1000000000000000000ull;  // limb 0 of the mantissa 1
constexpr int64_t kMaxE = kMaxExponent;
using i128 = __int128;

// ---- Context ---------------------------------------------------------------------------------------------------

class RealArith : public ::testing::Test {
  protected:
    void SetUp() override {
        static bool initialised = false;
        if (!initialised) {
            init_numeric_context();
            initialised = true;
        }
        num_ctx.real_limbs = 1;
        num_ctx.error_code = 0;
        num_ctx.guard_digit_reduction = 0;
        num_ctx.guard_limbs = 0;
        num_ctx.no_rounding = 0;
        num_ctx.underflow_is_error = 0;
    }
};

// A RealNum record large enough for every precision, at the current precision.
struct Num {
    std::vector<uint64_t> w = std::vector<uint64_t>(kConstantLimbs + 2, 0);
    RealNum* p() { return w.data(); }
    const RealNum* p() const { return w.data(); }
    int64_t e() const { return real_exponent(p()); }
    bool neg() const { return real_is_negative(p()); }
    uint64_t limb(int i) const { return w[1 + i]; }
};

// The number with exponent e, sign and the given leading limbs (the rest zero).
Num make(int64_t e, bool negative, std::vector<uint64_t> limbs) {
    Num x;
    x.w[0] = (static_cast<uint64_t>(e) << 1) | (negative ? 1 : 0);
    for (size_t i = 0; i < limbs.size(); ++i) x.w[1 + i] = limbs[i];
    return x;
}

Num from_i64(int64_t v) {
    Num x;
    real_from_i64(x.p(), v);
    return x;
}

// limb0 * 10^e (one limb, normalised by the caller)
Num num(uint64_t limb0, int64_t e, bool negative = false) {
    return make(e, negative, {limb0});
}

std::string show(const Num& x) {
    const int n = num_ctx.real_limbs;
    std::string s = x.neg() ? "-" : "+";
    for (int i = 0; i < n && i < 6; ++i) {
        s += i ? ',' : '[';
        s += std::to_string(x.limb(i));
    }
    if (n > 6) s += ",...";
    return s + "]e" + std::to_string(x.e());
}

// ---- Exact oracle: a RealNum is M * 10^(E + 1 - 19L) with M the integer of its 19L digits ----------------------

mpz_class pow10(i128 k) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(k));
    return r;
}

mpz_class mantissa(const Num& x, int n) {
    mpz_class m = 0;
    for (int i = 0; i < n; ++i) {
        m *= kB;
        m += mpz_class(static_cast<unsigned long>(x.limb(i)));
    }
    return m;
}

i128 scale(const Num& x, int n) {
    return static_cast<i128>(x.e()) + 1 - 19 * n;
}

// Decimal digit count of v > 0.
long digits(const mpz_class& v) {
    long d = static_cast<long>(mpz_sizeinbase(v.get_mpz_t(), 10));
    if (v < pow10(d - 1)) --d;
    return d;
}

// floor(num * 10^k / den) for num, den > 0.
mpz_class floor_scaled(const mpz_class& num, const mpz_class& den, i128 k) {
    mpz_class q;
    if (k >= 0) {
        mpz_class t = num * pow10(k);
        mpz_fdiv_q(q.get_mpz_t(), t.get_mpz_t(), den.get_mpz_t());
    } else {
        mpz_class t = den * pow10(-k);
        mpz_fdiv_q(q.get_mpz_t(), num.get_mpz_t(), t.get_mpz_t());
    }
    return q;
}

// The positive rational num/den * 10^k truncated to L limbs: limbs, the next limb and the exponent.
struct Truncated {
    std::vector<uint64_t> limbs;
    uint64_t guard;
    i128 e;
};

Truncated truncate_exact(const mpz_class& num, const mpz_class& den, i128 k, int n) {
    i128 e = static_cast<i128>(digits(num)) - digits(den) + k;
    for (;;) {
        const mpz_class lead = floor_scaled(num, den, k - e);
        if (lead >= 10) {
            ++e;
        } else if (lead == 0) {
            --e;
        } else {
            break;
        }
    }
    mpz_class all = floor_scaled(num, den, k - e + 19 * n + 18);  // 19L digits and the guard limb
    Truncated t{std::vector<uint64_t>(n), 0, e};
    mpz_class r;
    r = all % kB;
    t.guard = mpz_get_ui(r.get_mpz_t());
    all /= kB;
    for (int i = n - 1; i >= 0; --i) {
        r = all % kB;
        t.limbs[i] = mpz_get_ui(r.get_mpz_t());
        all /= kB;
    }
    return t;
}

// Checks that x (and its returned guard, unless guard is null) is the truncation of (-1)^negative * num/den * 10^k.
// With guard_prefix the guard may have lost its low digits to a normalising shift (zeros moved in instead).
::testing::AssertionResult is_truncation(const Num& x, const uint64_t* guard, bool negative, const mpz_class& num,
                                         const mpz_class& den, i128 k, bool guard_prefix = false) {
    const int n = num_ctx.real_limbs;
    if (num == 0) {
        if (real_is_zero(x.p())) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "expected zero, got " << show(x);
    }
    const Truncated t = truncate_exact(num, den, k, n);
    bool guard_ok = guard == nullptr || *guard == t.guard;
    for (int drop = 1; guard_prefix && !guard_ok && drop <= 18; ++drop)
        guard_ok = *guard == t.guard / kPow10[drop] * kPow10[drop];
    bool ok = x.neg() == negative && static_cast<i128>(x.e()) == t.e && guard_ok;
    for (int i = 0; i < n; ++i) ok = ok && x.limb(i) == t.limbs[i];
    if (ok) return ::testing::AssertionSuccess();
    Num expected = make(static_cast<int64_t>(t.e), negative, t.limbs);
    return ::testing::AssertionFailure() << "got " << show(x) << " guard " << (guard ? *guard : 0) << ", expected "
                                         << show(expected) << " guard " << t.guard;
}

// (exact - x) / ulp(x) for |x| and the positive exact value num/den * 10^k.
double ulp_error(const Num& x, const mpz_class& num, const mpz_class& den, i128 k) {
    const int n = num_ctx.real_limbs;
    mpq_class scaled(num * (k - scale(x, n) >= 0 ? pow10(k - scale(x, n)) : mpz_class(1)),
                     den * (k - scale(x, n) < 0 ? pow10(scale(x, n) - k) : mpz_class(1)));
    scaled.canonicalize();
    scaled -= mpq_class(mantissa(x, n));
    return scaled.get_d();
}

// (root - x) / ulp(x) for the positive root (index 2 or 3) of num * 10^k, evaluated with MPFR.
double root_ulp_error(const Num& x, int index, const mpz_class& num, i128 k) {
    const int n = num_ctx.real_limbs;
    const i128 shift = k - index * scale(x, n);
    mpq_class radicand(num * (shift >= 0 ? pow10(shift) : mpz_class(1)), shift < 0 ? pow10(-shift) : mpz_class(1));
    radicand.canonicalize();
    mpfr_t r;
    mpfr_init2(r, static_cast<mpfr_prec_t>(64 * n + 128));
    mpfr_set_q(r, radicand.get_mpq_t(), MPFR_RNDN);
    if (index == 2) {
        mpfr_sqrt(r, r, MPFR_RNDN);
    } else {
        mpfr_cbrt(r, r, MPFR_RNDN);
    }
    mpfr_sub_z(r, r, mantissa(x, n).get_mpz_t(), MPFR_RNDN);
    const double d = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clear(r);
    return d;
}

// ---- Random numbers --------------------------------------------------------------------------------------------

using Rng = std::mt19937_64;

uint64_t random_limb(Rng& rng) {
    return rng() % kB;
}

// A normalised random number: mostly uniform digits, sometimes runs of nines or zeros and powers of ten.
Num random_real(Rng& rng, int n, int64_t e_low, int64_t e_high) {
    int64_t e = e_low + static_cast<int64_t>(rng() % static_cast<uint64_t>(e_high - e_low + 1));
    e = std::clamp(e, -kMaxE, kMaxE);
    Num x = make(e, rng() & 1, {});
    const int pattern = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) {
        uint64_t limb = random_limb(rng);
        if (pattern == 0) limb = kB - 1;
        if (pattern == 1) limb = 0;
        if (pattern == 2 && rng() % 4 != 0) limb = (rng() & 1) ? 0 : kB - 1;
        x.w[1 + i] = limb;
    }
    if (x.w[1] < kOne) x.w[1] = kOne + x.w[1] % (kB - kOne);
    if (pattern == 1) x.w[1] = kOne * (1 + rng() % 9);
    return x;
}

// Precisions of the differential tests: fixed ones around the iteration-count boundaries and some random ones.
std::vector<int> test_precisions(Rng& rng) {
    std::vector<int> ls = {1, 2, 3, 4, 5, 7, 8, 10, 15, 16, 30, 31, 53, 100, 121, 264, 485, 527};
    for (int i = 0; i < 6; ++i) ls.push_back(1 + static_cast<int>(rng() % 527));
    return ls;
}

// Cases per precision: enough for the small ones, few at thousands of digits.
int cases_for(int n, int budget) {
    return std::max(n > 256 ? 1 : 2, budget / n);
}

// ---- Operations by name, for the tables ------------------------------------------------------------------------

enum class Op { kAdd, kSub, kMul, kMulWord, kDiv, kDivWord, kReciprocal, kSqrt, kCbrt, kPow, kHypot, kFrac };

const char* op_name(Op op) {
    static const char* const kNames[] = {"add",        "sub",  "mul",  "mul_word", "div",   "div_word",
                                         "reciprocal", "sqrt", "cbrt", "pow_int",  "hypot", "frac"};
    return kNames[static_cast<int>(op)];
}

// dst = op(a, b); w is the word of the word operations and the exponent of pow_int. Returns the guard of the
// operations that deliver one, else 0.
uint64_t run(Op op, RealNum* dst, const RealNum* a, const RealNum* b, int64_t w) {
    switch (op) {
        case Op::kAdd:
            return real_add_sub(dst, a, b, 0);
        case Op::kSub:
            return real_add_sub(dst, a, b, 1);
        case Op::kMul:
            return real_mul(dst, a, b);
        case Op::kMulWord:
            return real_mul_word(dst, a, static_cast<uint64_t>(w));
        case Op::kDiv:
            return real_div(dst, a, b);
        case Op::kDivWord:
            return real_div_word(dst, a, static_cast<uint64_t>(w));
        case Op::kReciprocal:
            real_reciprocal(dst, a);
            return 0;
        case Op::kSqrt:
            real_sqrt(dst, a);
            return 0;
        case Op::kCbrt:
            real_cbrt(dst, a);
            return 0;
        case Op::kPow:
            real_pow_int(dst, a, w);
            return 0;
        case Op::kHypot:
            real_hypot(dst, a, b);
            return 0;
        case Op::kFrac:
            real_frac(dst, a);
            return 0;
    }
    return 0;
}

// ---- Edge cases of the operations ------------------------------------------------------------------------------

constexpr uint64_t kAnyGuard = UINT64_MAX;

struct OpCase {
    const char* what;
    int limbs;
    Op op;
    Num a, b;
    int64_t w;
    uint32_t error;
    Num result;
    uint64_t guard = kAnyGuard;
};

const Num kZero = num(0, 0), kNegZero = num(0, 0, true), kNone = num(0, 0);

const OpCase kOpCases[] = {
    // exponent rules, through the product
    {"product keeps the largest exponent", 1, Op::kMul, num(kOne, kMaxE - 3), num(kOne, 3), 0, 0, num(kOne, kMaxE)},
    {"exponent sum 2^62 overflows to +0", 1, Op::kMul, num(kOne, kMaxE, true), num(kOne, 1), 0, 10, kZero},
    {"half-range exponents overflow", 1, Op::kMul, num(kOne, int64_t{1} << 61), num(kOne, int64_t{1} << 61), 0, 10,
     kZero},
    {"product keeps the smallest exponent", 1, Op::kMul, num(kOne, -kMaxE + 1), num(kOne, -1), 0, 0, num(kOne, -kMaxE)},
    {"underflow gives a silent zero", 1, Op::kMul, num(kOne, -kMaxE), num(kOne, -1), 0, 0, kZero},
    {"underflow keeps the sign", 1, Op::kMul, num(kOne, -kMaxE, true), num(kOne, -1), 0, 0, kNegZero},
    {"most negative exponent sum", 1, Op::kMul, num(kOne, -kMaxE), num(kOne, -kMaxE), 0, 0, kZero},
    {"product of a zero is signed", 1, Op::kMul, kNegZero, num(kOne, 3), 0, 0, kNegZero},
    {"product of an unnormalised operand", 1, Op::kMul, num(kOne / 10, 0), num(kOne, 0), 0, 30, kZero},
    // addition and subtraction
    {"1 - 1 is +0", 1, Op::kSub, num(kOne, 0), num(kOne, 0), 0, 0, kZero, 0},
    {"(-1) - (-1) is -0", 1, Op::kSub, num(kOne, 0, true), num(kOne, 0, true), 0, 0, kNegZero, 0},
    {"0 - b flips b", 1, Op::kSub, kZero, num(3 * kOne, 4), 0, 0, num(3 * kOne, 4, true), 0},
    {"0 - 0 flips the zero", 1, Op::kSub, kZero, kZero, 0, 0, kNegZero, 0},
    {"a - 0 is a", 1, Op::kSub, num(3 * kOne, 4, true), kZero, 0, 0, num(3 * kOne, 4, true), 0},
    {"carry into a new digit", 2, Op::kAdd, make(0, false, {kB - 1, kB - 1}), make(-37, false, {kOne, 0}), 0, 0,
     make(1, false, {kOne, 0}), 0},
    {"borrow from the guard", 1, Op::kSub, num(kOne, 0), num(kOne / 10 * 15, -20), 0, 0, num(kB - 1, -1),
     8500000000000000000},
    {"digits beyond the guard are dropped", 1, Op::kSub, num(kOne, 0), num(kOne / 10 * 15, -40), 0, 0, num(kOne, 0), 0},
    {"larger b gives b's sign", 1, Op::kSub, num(kOne, 0), num(2 * kOne, 0), 0, 0, num(kOne, 0, true), 0},
    {"larger b of the other sign", 1, Op::kAdd, num(kOne, 0, true), num(5 * kOne, 1), 0, 0, num(kOne / 10 * 49, 1), 0},
    {"cancellation pulls in guard digits", 1, Op::kSub, num(kOne, 0), num(kB - 1, -1), 0, 0, num(kOne, -19), 0},
    {"sum overflows the exponent", 1, Op::kAdd, num(9 * kOne, kMaxE), num(9 * kOne, kMaxE), 0, 10, kZero, 0},
    {"difference underflows to a signed zero", 1, Op::kSub, num(2 * kOne, -kMaxE, true),
     num(kOne / 10 * 19, -kMaxE, true), 0, 0, kNegZero, 0},
    // words
    {"1 / 3", 1, Op::kDivWord, num(kOne, 0), kNone, 3, 0, num(3333333333333333333, -1), 3333333333333333330},
    {"5 / 6e18 uses the shifted quotient", 1, Op::kDivWord, num(5 * kOne, 0), kNone, 6 * int64_t{kOne}, 0,
     num(8333333333333333333, -19), 3333333333333333333},
    {"9 / 3", 1, Op::kDivWord, num(9 * kOne, 0), kNone, 3, 0, num(3 * kOne, 0), 0},
    {"division by the word 0", 1, Op::kDivWord, num(9 * kOne, 0, true), kNone, 0, 13, kZero},
    {"a zero dividend keeps its sign", 1, Op::kDivWord, kNegZero, kNone, 7, 0, kNegZero},
    {"word quotient underflows", 1, Op::kDivWord, num(kOne, -kMaxE), kNone, 2, 0, kZero},
    {"word product by 0 keeps the sign", 1, Op::kMulWord, num(kOne, 5, true), kNone, 0, 0, kNegZero},
    {"word product with a new digit", 1, Op::kMulWord, num(5 * kOne, 0), kNone, 2, 0, num(kOne, 1), 0},
    {"word product overflows", 1, Op::kMulWord, num(5 * kOne, kMaxE), kNone, 2, 10, kZero},
    {"word product that cannot be normalised", 2, Op::kMulWord, make(0, false, {0, 5}), kNone, 1, 30, kZero},
    // reciprocal and division
    {"1/3 at one limb", 1, Op::kReciprocal, num(3 * kOne, 0), kNone, 0, 0, num(3333333333333333333, -1)},
    {"1/1 is exact", 3, Op::kReciprocal, num(kOne, 0), kNone, 0, 0, make(0, false, {kOne, 0, 0})},
    {"1/(-4) at one limb", 1, Op::kReciprocal, num(4 * kOne, 0, true), kNone, 0, 0, num(kOne / 10 * 25, -1, true)},
    {"reciprocal of zero", 2, Op::kReciprocal, kNegZero, kNone, 0, 13, kZero},
    {"reciprocal of an unnormalised number", 2, Op::kReciprocal, num(kOne / 10, 0), kNone, 0, 30, kZero},
    {"reciprocal underflows", 2, Op::kReciprocal, num(2 * kOne, kMaxE), kNone, 0, 0, kZero},
    {"-5 / 0 is a negative zero", 2, Op::kDiv, num(5 * kOne, 0, true), kZero, 0, 13, kNegZero},
    {"5 / -0 is +0", 2, Op::kDiv, num(5 * kOne, 0), kNegZero, 0, 13, kZero},
    {"quotient underflows", 2, Op::kDiv, num(kOne, -kMaxE), num(2 * kOne, 0), 0, 0, kZero},
    {"quotient overflows", 2, Op::kDiv, num(kOne, kMaxE), num(kOne, -1), 0, 10, kZero},
    // roots
    {"sqrt 2 at one limb is the seed", 1, Op::kSqrt, num(2 * kOne, 0), kNone, 0, 0, num(1414213562373095049, 0)},
    {"sqrt 0.01 = 0.1", 1, Op::kSqrt, num(kOne, -2), kNone, 0, 0, num(kOne, -1)},
    {"sqrt 0.1", 1, Op::kSqrt, num(kOne, -1), kNone, 0, 0, num(3162277660168379332, -1)},
    {"sqrt 1e-7", 1, Op::kSqrt, num(kOne, -7), kNone, 0, 0, num(3162277660168379332, -4)},
    {"sqrt -0 is -0", 2, Op::kSqrt, kNegZero, kNone, 0, 0, kNegZero},
    {"sqrt of a negative number", 2, Op::kSqrt, num(4 * kOne, 0, true), kNone, 0, 14, kZero},
    {"sqrt 1 is exact", 3, Op::kSqrt, num(kOne, 0), kNone, 0, 0, num(kOne, 0)},
    {"sqrt 25e-20 is exact", 2, Op::kSqrt, num(kOne / 10 * 25, -19), kNone, 0, 0, num(5 * kOne, -10)},
    {"cbrt -0 is -0", 2, Op::kCbrt, kNegZero, kNone, 0, 0, kNegZero},
    {"cbrt 0 is 0", 2, Op::kCbrt, kZero, kNone, 0, 0, kZero},
    {"cbrt 1e-3 = 0.1", 1, Op::kCbrt, num(kOne, -3), kNone, 0, 0, num(kOne, -1)},
    // integer powers
    {"0^0 is 1", 2, Op::kPow, kZero, kNone, 0, 0, num(kOne, 0)},
    {"0^-1 is a domain error", 2, Op::kPow, kZero, kNone, -1, 14, kZero},
    {"(-0)^3 is +0", 2, Op::kPow, kNegZero, kNone, 3, 0, kZero},
    {"2^10 is exact", 2, Op::kPow, num(2 * kOne, 0), kNone, 10, 0, num(kOne / 1000 * 1024, 3)},
    {"2^-1", 2, Op::kPow, num(2 * kOne, 0), kNone, -1, 0, num(5 * kOne, -1)},
    {"(-2)^3", 2, Op::kPow, num(2 * kOne, 0, true), kNone, 3, 0, num(8 * kOne, 0, true)},
    {"(-2)^2", 2, Op::kPow, num(2 * kOne, 0, true), kNone, 2, 0, num(4 * kOne, 0)},
    {"1^INT64_MIN", 2, Op::kPow, num(kOne, 0), kNone, INT64_MIN, 0, num(kOne, 0)},
    {"(-1)^INT64_MAX", 2, Op::kPow, num(kOne, 0, true), kNone, INT64_MAX, 0, num(kOne, 0, true)},
    {"10^(2^62) overflows", 2, Op::kPow, num(kOne, 1), kNone, int64_t{1} << 62, 10, kZero},
    // hypot
    {"hypot 3, -4 is 5", 2, Op::kHypot, num(3 * kOne, 0), num(4 * kOne, 0, true), 0, 0, num(5 * kOne, 0)},
    {"hypot near the top does not overflow", 2, Op::kHypot, num(3 * kOne, kMaxE - 1), num(4 * kOne, kMaxE - 1), 0, 0,
     num(5 * kOne, kMaxE - 1)},
    {"hypot with a zero a is |b|", 2, Op::kHypot, kZero, num(3 * kOne, 7, true), 0, 0, num(3 * kOne, 7)},
    {"hypot with a zero b is |a|", 2, Op::kHypot, num(3 * kOne, 7, true), kNegZero, 0, 0, num(3 * kOne, 7)},
    {"hypot of far apart operands is the larger", 2, Op::kHypot, num(7 * kOne, -50, true), num(2 * kOne, 10, true), 0,
     0, num(2 * kOne, 10)},
};

TEST_F(RealArith, OperationsMeetTheirEdgeCases) {
    for (const auto& c : kOpCases) {
        num_ctx.real_limbs = c.limbs;
        num_ctx.error_code = 0;
        Num r;
        for (auto& w : r.w) w = 0x5A5A5A5A;  // every word of the result must be written
        const uint64_t guard = run(c.op, r.p(), c.a.p(), c.b.p(), c.w);
        EXPECT_EQ(num_ctx.error_code, c.error) << c.what;
        for (int i = 0; i <= c.limbs; ++i) EXPECT_EQ(r.w[i], c.result.w[i]) << c.what << ", word " << i;
        if (c.guard != kAnyGuard) {
            EXPECT_EQ(guard, c.guard) << c.what;
        }
    }
    num_ctx.real_limbs = 1;
    EXPECT_EQ(real_compare(kNegZero.p(), kZero.p()), 0) << "a negative zero equals +0";
}

TEST_F(RealArith, UnderflowIsAnErrorWhenAsked) {
    num_ctx.underflow_is_error = 1;
    Num a = num(kOne, -kMaxE, true), b = num(kOne, -1), r;
    real_mul(r.p(), a.p(), b.p());
    EXPECT_EQ(num_ctx.error_code, 11u);
    EXPECT_EQ(r.w[0], 0u) << "+0, not the signed zero";
    EXPECT_EQ(r.w[1], 0u);
}

// ---- Exponent arithmetic ---------------------------------------------------------------------------------------

struct AddExponentCase {
    const char* what;
    int64_t e, delta;
    uint32_t error;
    bool zero;
    int64_t result;
};

const AddExponentCase kAddExponentCases[] = {
    {"plain sum", 5, -7, 0, false, -2},
    {"reaches the top", 0, kMaxE, 0, false, kMaxE},
    {"one above the top", 1, kMaxE, 10, true, 0},
    {"positive wrap is an overflow", kMaxE, INT64_MAX, 10, true, 0},
    {"negative wrap is an underflow", -kMaxE, INT64_MIN, 0, true, 0},
    {"reaches the bottom", 0, -kMaxE, 0, false, -kMaxE},
    {"one below the bottom", -1, -kMaxE, 0, true, 0},
};

TEST_F(RealArith, AddingToTheExponentDetectsWrapAround) {
    for (const auto& c : kAddExponentCases) {
        num_ctx.error_code = 0;
        Num x = num(3 * kOne, c.e, true);
        real_add_exponent(x.p(), c.delta);
        EXPECT_EQ(num_ctx.error_code, c.error) << c.what;
        EXPECT_EQ(real_is_zero(x.p()), c.zero) << c.what;
        EXPECT_EQ(x.e(), c.zero ? 0 : c.result) << c.what;
        EXPECT_EQ(x.neg(), !c.zero || c.error == 0) << c.what << ": the sign survives unless the result is +0";
    }
}

// ---- Digit shifts and normalisation, against a transcription on the digit string of limbs and guard --------------

std::string digit_string(const std::vector<uint64_t>& limbs, uint64_t guard) {
    std::string s;
    for (uint64_t l : limbs) {
        std::string d = std::to_string(l);
        s += std::string(19 - d.size(), '0') + d;
    }
    std::string g = std::to_string(guard);
    return s + std::string(19 - g.size(), '0') + g;
}

TEST_F(RealArith, DigitShiftsMoveTheDigitStringOfLimbsAndGuard) {
    Rng rng(11);
    for (int n : {1, 2, 3, 5}) {
        for (int k = 0; k <= 19 * (n + 2); ++k) {
            std::vector<uint64_t> limbs(n);
            for (auto& l : limbs) l = random_limb(rng);
            const uint64_t guard = random_limb(rng);
            const std::string before = digit_string(limbs, guard);
            const size_t width = before.size();
            const size_t kk = static_cast<size_t>(k);

            std::vector<uint64_t> right = limbs;
            uint64_t right_guard = guard;
            limbs_shift_right_digits(right.data(), n, &right_guard, k);
            const std::string expected_right = (std::string(std::min(kk, width), '0') + before).substr(0, width);
            EXPECT_EQ(digit_string(right, right_guard), expected_right) << "right n=" << n << " k=" << k;

            std::vector<uint64_t> left = limbs;
            uint64_t left_guard = guard;
            limbs_shift_left_digits(left.data(), n, &left_guard, k);
            const std::string expected_left =
                kk >= width ? std::string(width, '0') : before.substr(kk) + std::string(kk, '0');
            EXPECT_EQ(digit_string(left, left_guard), expected_left) << "left n=" << n << " k=" << k;
        }
    }
}

struct NormalizeCase {
    std::vector<uint64_t> limbs;
    uint64_t guard;
    int shift;
    std::vector<uint64_t> result;
    uint64_t result_guard;
};

const NormalizeCase kNormalizeCases[] = {
    {{kOne, 5}, 7, 0, {kOne, 5}, 7},
    {{1, 0}, 0, 18, {kOne, 0}, 0},
    {{0, 25}, 3 * kOne, 36, {2530000000000000000, 0}, 0},
    {{0, 0}, 4, 56, {4 * kOne, 0}, 0},
    {{0, 0}, 0, 0, {0, 0}, 0},
    {{12345678901234567890ull, 0}, 1, -1, {1234567890123456789, 0}, 0},  // a 20-digit first limb after a carry
};

TEST_F(RealArith, NormalizationReportsItsShift) {
    for (const auto& c : kNormalizeCases) {
        std::vector<uint64_t> limbs = c.limbs;
        uint64_t guard = c.guard;
        EXPECT_EQ(limbs_normalize(limbs.data(), 2, &guard), c.shift) << c.limbs[0];
        EXPECT_EQ(limbs, c.result) << c.limbs[0];
        EXPECT_EQ(guard, c.result_guard) << c.limbs[0];
    }
}

// ---- Construction and conversion -------------------------------------------------------------------------------

struct FromWordCase {
    int limbs;
    int64_t value;
    bool is_unsigned;
    uint64_t u;
    std::vector<uint64_t> result;
    int64_t e;
    bool negative;
    uint64_t guard;
};

const FromWordCase kFromWordCases[] = {
    {1, 0, false, 0, {0}, 0, false, 0},
    {1, 1, false, 0, {kOne}, 0, false, 0},
    {1, 25, false, 0, {kOne / 10 * 25}, 1, false, 0},
    {1, -7, false, 0, {7 * kOne}, 0, true, 0},
    {1, INT64_MIN, false, 0, {9223372036854775808ull}, 18, true, 0},
    {1, 0, true, kB - 1, {kB - 1}, 18, false, 0},
    {1, 0, true, kB, {kOne}, 19, false, 0},
    {1, 0, true, UINT64_MAX, {1844674407370955161}, 19, false, 5 * kOne},
    {2, 0, true, UINT64_MAX, {1844674407370955161, 5 * kOne}, 19, false, 0},
};

TEST_F(RealArith, MachineWordsConvertExactly) {
    for (const auto& c : kFromWordCases) {
        num_ctx.real_limbs = c.limbs;
        Num x;
        const uint64_t guard = c.is_unsigned ? real_from_u64(x.p(), c.u) : real_from_i64(x.p(), c.value);
        for (int i = 0; i < c.limbs; ++i) EXPECT_EQ(x.limb(i), c.result[i]) << c.value << " " << c.u;
        EXPECT_EQ(x.e(), c.e) << c.value << " " << c.u;
        EXPECT_EQ(x.neg(), c.negative) << c.value << " " << c.u;
        EXPECT_EQ(guard, c.guard) << c.value << " " << c.u;
    }
}

struct ToIntCase {
    Num x;
    int limbs;
    uint32_t flags;
    bool ok_signed;
    int64_t signed_value;
    bool ok_unsigned;
    uint64_t unsigned_value;
};

const ToIntCase kToIntCases[] = {
    {num(0, 0), 1, 0, true, 0, true, 0},
    {num(0, 0, true), 1, 0, true, 0, true, 0},
    {num(kOne / 10 * 25, 0), 1, 0, false, 0, false, 0},
    {num(kOne / 10 * 25, 0), 1, kToIntTruncate, true, 2, true, 2},
    {num(kOne / 10 * 25, 0, true), 1, kToIntTruncate, true, -2, false, 0},
    {num(kOne / 10 * 25, 0, true), 1, kToIntTruncate | kToIntNegativeMagnitude, true, -2, true, 2},
    {num(5 * kOne, -1), 1, 0, false, 0, false, 0},
    {num(5 * kOne, -1), 1, kToIntTruncate, true, 0, true, 0},
    {num(1234567890123456789, 17), 1, 0, false, 0, false, 0},
    {num(1234567890123456780, 17), 1, 0, true, 123456789012345678, true, 123456789012345678},
    {make(5, false, {1234560000000000000, 1}), 2, 0, false, 0, false, 0},
    {make(5, false, {1234560000000000000, 1}), 2, kToIntTruncate, true, 123456, true, 123456},
    {num(9223372036854775807ull, 18), 1, 0, true, INT64_MAX, true, 9223372036854775807ull},
    {num(9223372036854775808ull, 18, true), 1, 0, true, INT64_MIN, false, 0},
    {num(9223372036854775808ull, 18), 1, 0, false, 0, true, 9223372036854775808ull},
    {make(18, false, {kOne, 1}), 2, 0, false, 0, false, 0},
    {make(19, false, {1844674407370955161, 5 * kOne}), 2, 0, false, 0, true, UINT64_MAX},
    {make(19, false, {1844674407370955161, 6 * kOne}), 2, kToIntTruncate, false, 0, false, 0},
    {make(19, false, {1844674407370955160, 9 * kOne}), 2, 0, false, 0, true, 18446744073709551609ull},
    {make(19, false, {1844674407370955161, 5 * kOne + 1}), 2, 0, false, 0, false, 0},
    {make(19, false, {1844674407370955161, 5 * kOne + 1}), 2, kToIntTruncate, false, 0, true, UINT64_MAX},
    {num(1844674407370955161, 19), 1, 0, false, 0, true, 18446744073709551610ull},
    {num(kOne, 20), 1, kToIntTruncate, false, 0, false, 0},
};

TEST_F(RealArith, ConversionToMachineWordsSucceedsOnlyWhenTheValueFits) {
    for (const auto& c : kToIntCases) {
        num_ctx.real_limbs = c.limbs;
        const std::string what = show(c.x) + " flags " + std::to_string(c.flags);
        num_ctx.error_code = 0;
        int64_t s = 77;
        EXPECT_EQ(real_to_i64(&s, c.x.p(), c.flags), c.ok_signed) << what;
        EXPECT_EQ(s, c.signed_value) << what;
        EXPECT_EQ(num_ctx.error_code, c.ok_signed ? 0u : 14u) << what;
        num_ctx.error_code = 0;
        uint64_t u = 77;
        EXPECT_EQ(real_to_u64(&u, c.x.p(), c.flags), c.ok_unsigned) << what;
        EXPECT_EQ(u, c.unsigned_value) << what;
        EXPECT_EQ(num_ctx.error_code, c.ok_unsigned ? 0u : 14u) << what;
        num_ctx.error_code = 0;
        real_to_i64(&s, c.x.p(), c.flags | kToIntQuiet);
        real_to_u64(&u, c.x.p(), c.flags | kToIntQuiet);
        EXPECT_EQ(num_ctx.error_code, 0u) << what << ": quiet";
    }
}

TEST_F(RealArith, BigIntegersConvertToTheirTruncatedDigits) {
    Rng rng(5);
    for (int n : {1, 2, 3, 10, 53, 527}) {
        num_ctx.real_limbs = n;
        for (int trial = 0; trial < 40; ++trial) {
            const int w = trial == 0 ? 2000 : 1 + static_cast<int>(rng() % (trial < 20 ? 4 : 80));
            std::vector<uint64_t> words(w + 2, 0);  // two zero words on top are skipped
            for (int i = 0; i < w; ++i) words[i] = trial % 5 == 1 ? UINT64_MAX : rng() >> (rng() % 64);
            mpz_class v;
            mpz_import(v.get_mpz_t(), words.size(), -1, 8, 0, 0, words.data());
            num_ctx.error_code = 0;
            Num x;
            x.w[0] = 1;  // the result is positive whatever dst held
            real_from_bigint(x.p(), w + 2, words.data());
            EXPECT_EQ(num_ctx.error_code, 0u);
            EXPECT_TRUE(is_truncation(x, nullptr, false, v, 1, 0)) << "L=" << n << " w=" << w << " trial " << trial;
        }
        Num zero = from_i64(-3);
        const uint64_t none[3] = {0, 0, 0};
        real_from_bigint(zero.p(), 3, none);
        EXPECT_TRUE(real_is_zero(zero.p()) && !zero.neg());
    }
}

struct ResizeCase {
    const char* what;
    int from, to;
    Num src;
    uint8_t no_rounding;
    Num expected;
};

const ResizeCase kResizeCases[] = {
    {"rounds down below half", 3, 2, make(4, false, {kOne, 7, 5 * kOne - 1}), 0, make(4, false, {kOne, 7})},
    {"rounds half up", 3, 2, make(4, true, {kOne, 7, 5 * kOne}), 0, make(4, true, {kOne, 8})},
    {"carry into a new digit", 2, 1, make(4, false, {kB - 1, 5 * kOne}), 0, make(5, false, {kOne})},
    {"carry overflows the exponent", 2, 1, make(kMaxE, false, {kB - 1, 9 * kOne}), 0, make(0, false, {0})},
    {"truncates with no_rounding", 2, 1, make(4, false, {kB - 1, 9 * kOne}), 1, make(4, false, {kB - 1})},
    {"zero-fills when widening", 1, 3, make(-2, true, {3 * kOne, 5, 6}), 0, make(-2, true, {3 * kOne, 0, 0})},
};

TEST_F(RealArith, ResizeRoundsOrZeroFills) {
    for (const auto& c : kResizeCases) {
        num_ctx.real_limbs = c.to;
        num_ctx.no_rounding = c.no_rounding;
        Num dst;
        for (auto& w : dst.w) w = 0xDEAD;
        real_resize(dst.p(), c.src.p(), c.from);
        for (int i = 0; i <= c.to; ++i) EXPECT_EQ(dst.w[i], c.expected.w[i]) << c.what << " word " << i;
    }
}

// ---- Comparison and tests --------------------------------------------------------------------------------------

struct CompareCase {
    Num a, b;
    int result;
};

const CompareCase kCompareCases[] = {
    {num(0, 0), num(0, 0, true), 0},
    {num(0, 0), num(kOne, -5), -1},
    {num(0, 0, true), num(kOne, -5, true), 1},
    {num(kOne, -5, true), num(0, 0), -1},
    {num(kOne, 9, true), num(kOne, -9), -1},
    {num(kOne, 3), num(kOne, 2), 1},
    {num(kOne, 3, true), num(kOne, 2, true), -1},
    {make(0, false, {kOne, 1}), make(0, false, {kOne, 0}), 1},
    {make(0, true, {kOne, 1}), make(0, true, {kOne, 0}), -1},
    {make(0, false, {kOne, 1}), make(0, false, {kOne, 1}), 0},
};

TEST_F(RealArith, ComparisonOrdersSignsExponentsAndLimbs) {
    num_ctx.real_limbs = 2;
    for (const auto& c : kCompareCases) {
        EXPECT_EQ(real_compare(c.a.p(), c.b.p()), c.result) << show(c.a) << " vs " << show(c.b);
        EXPECT_EQ(real_compare(c.b.p(), c.a.p()), -c.result) << show(c.b) << " vs " << show(c.a);
    }
}

TEST_F(RealArith, ComparisonWithMachineIntegersAgreesWithConversion) {
    Rng rng(3);
    const int64_t specials[] = {0, 1, -1, 9, 10, -10, INT64_MAX, INT64_MIN, INT64_MIN + 1, 999999999999999999};
    for (int n : {1, 2}) {
        num_ctx.real_limbs = n;
        for (int i = 0; i < 400; ++i) {
            const int64_t v = i < 10 ? specials[i] : static_cast<int64_t>(rng() >> (rng() % 64));
            const int64_t w = i % 3 == 0 ? v : (i % 3 == 1 ? v + 1 : static_cast<int64_t>(rng()));
            Num x = from_i64(v);
            const int expected = v < w ? -1 : (v > w ? 1 : 0);
            EXPECT_EQ(real_compare_i64(x.p(), w), expected) << v << " vs " << w;
        }
    }
    Num half = num(5 * kOne, -1, true);
    EXPECT_EQ(real_compare_i64(half.p(), 0), -1);
    EXPECT_EQ(real_compare_i64(half.p(), -1), 1);
}

struct ScaledCase {
    Num a;
    int32_t m;
    int64_t e;
    int compare;
    uint32_t compare_error;
    bool at_least;
    uint32_t at_least_error;
};

const ScaledCase kScaledCases[] = {
    {num(1234567890000000000, 3), 123456789, 3, 0, 0, true, 0},
    {num(1234567890000000001, 3), 123456789, 3, 1, 0, true, 0},
    {num(1234567880000000000, 3), 123456789, 3, -1, 0, false, 0},
    {num(9 * kOne, 2), 123456789, 3, -1, 0, false, 0},
    {num(kOne, 4, true), 123456789, 3, -1, 0, true, 0},
    {num(kOne, 4, true), -123456789, 3, -1, 0, false, 14},
    {num(kOne, 2, true), -123456789, 3, 1, 0, false, 14},
    {num(0, 0), -123456789, -7, 1, 0, false, 0},
    {num(0, 0), 12345678, 0, 0, 14, false, 0},
    {num(kOne, 0), 12345678, 0, 0, 14, false, 14},
    {num(kOne, 0), 1234567890, 0, 0, 14, false, 0},
    {num(2 * kOne, 1), 1234567890, 0, 0, 14, true, 0},
    {num(1234567890000000000, 1), 1234567890, 0, 0, 14, true, 0},
    {num(1234567889999999999, 1), 1234567890, 0, 0, 14, false, 0},
};

TEST_F(RealArith, ScaledComparisonsCheckTheirOperand) {
    for (const auto& c : kScaledCases) {
        num_ctx.error_code = 0;
        EXPECT_EQ(real_compare_scaled(c.a.p(), c.m, c.e), c.compare) << show(c.a) << " vs " << c.m;
        EXPECT_EQ(num_ctx.error_code, c.compare_error) << show(c.a) << " vs " << c.m;
        num_ctx.error_code = 0;
        EXPECT_EQ(real_abs_at_least(c.a.p(), c.m, c.e), c.at_least) << show(c.a) << " vs " << c.m;
        EXPECT_EQ(num_ctx.error_code, c.at_least_error) << show(c.a) << " vs " << c.m;
    }
    Num zero = num(0, 0);
    EXPECT_TRUE(real_abs_at_least(zero.p(), 0, 0));
}

struct IntegerPartCase {
    Num a;
    int limbs;
    bool is_integer, is_even;
    Num frac;
};

const IntegerPartCase kIntegerPartCases[] = {
    {num(kOne / 10 * 25, 0), 1, false, true, num(5 * kOne, -1)},
    {num(kOne / 10 * 35, 0, true), 1, false, false, num(5 * kOne, -1, true)},
    {num(3 * kOne, 0, true), 1, true, false, num(0, 0, true)},
    {num(kOne / 10 * 12, 1), 1, true, true, num(0, 0)},
    {num(kOne / 10 * 25, -1), 1, false, true, num(kOne / 10 * 25, -1)},
    {num(0, 0), 1, true, true, num(0, 0)},
    {num(7000000000000000001, 18), 1, true, false, num(0, 0)},
    {num(7 * kOne, 19), 1, true, true, num(0, 0)},
    {make(19, true, {1234567890123456789, 1234567890123456789}), 2, false, false,
     make(-1, true, {2345678901234567890, 0})},
    {make(20, false, {1234567890123456789, 1234567890123456789}), 2, false, true,
     make(-1, false, {3456789012345678900, 0})},
    {make(37, false, {1234567890123456789, 1234567890123456789}), 2, true, false, make(0, false, {0, 0})},
    {make(36, false, {1234567890123456789, 1234567890123456789}), 2, false, true, make(-1, false, {9 * kOne, 0})},
};

TEST_F(RealArith, IntegerAndFractionalParts) {
    for (const auto& c : kIntegerPartCases) {
        num_ctx.real_limbs = c.limbs;
        EXPECT_EQ(real_is_integer(c.a.p()), c.is_integer) << show(c.a);
        EXPECT_EQ(real_is_even(c.a.p()), c.is_even) << show(c.a);
        Num f = c.a;
        real_frac(f.p(), f.p());
        for (int i = 0; i <= c.limbs; ++i) EXPECT_EQ(f.w[i], c.frac.w[i]) << show(c.a) << " word " << i;
    }
}

// ---- Addition against exact arithmetic ------------------------------------------------------------------------

// The sum as real_add_sub defines it: the operand with the smaller exponent is cut to L + 1 limbs at the scale
// of the other, then the sum is exact and truncated to L limbs.
void expect_add_sub(const Num& a, const Num& b, int subtract, const std::string& what) {
    const int n = num_ctx.real_limbs;
    num_ctx.error_code = 0;
    Num r;
    const uint64_t guard = real_add_sub(r.p(), a.p(), b.p(), subtract);
    const bool b_is_low = a.e() >= b.e();
    const Num& high = b_is_low ? a : b;
    const Num& low = b_is_low ? b : a;
    const i128 grid = scale(high, n) - 19;
    mpz_class low_m = mantissa(low, n);
    const i128 drop = grid - scale(low, n);
    if (drop > 19 * n + 2) {
        low_m = 0;
    } else if (drop > 0) {
        low_m /= pow10(drop);
    } else {
        low_m *= pow10(-drop);
    }
    mpz_class high_m = mantissa(high, n) * kB;
    const bool b_negative = b.neg() != (subtract != 0);
    const bool high_negative = b_is_low ? a.neg() : b_negative;
    const bool low_negative = b_is_low ? b_negative : a.neg();
    const mpz_class sum = (high_negative ? -high_m : high_m) + (low_negative ? -low_m : low_m);
    if (sum == 0) {
        EXPECT_TRUE(real_is_zero(r.p())) << what;
        EXPECT_EQ(r.neg(), a.neg()) << what << ": equal magnitudes keep a's sign";
        return;
    }
    const mpz_class magnitude = abs(sum);
    const i128 e = grid + digits(magnitude) - 1;
    if (e > kMaxE || e < -kMaxE) {
        EXPECT_TRUE(real_is_zero(r.p())) << what;
        EXPECT_EQ(num_ctx.error_code, e > kMaxE ? 10u : 0u) << what;
        return;
    }
    EXPECT_TRUE(is_truncation(r, &guard, sum < 0, magnitude, 1, grid)) << what;
}

TEST_F(RealArith, AdditionIsTheExactSumOfTheAlignedOperandsTruncated) {
    Rng rng(101);
    for (int n : test_precisions(rng)) {
        num_ctx.real_limbs = n;
        for (int i = 0; i < cases_for(n, 3000); ++i) {
            const int64_t spread = static_cast<int64_t>(rng() % 4 == 0 ? 19 * n + 60 : 25);
            const int64_t base = rng() % 16 == 0 ? kMaxE - 1 : (rng() % 16 == 0 ? -kMaxE + 1 : 0);
            Num a = random_real(rng, n, base - spread / 2, base + spread / 2);
            Num b = random_real(rng, n, base - spread / 2, base + spread / 2);
            if (i % 7 == 0) b = a;  // equal magnitudes and full cancellation
            if (i % 11 == 0) b.w[1 + n - 1] ^= 1;
            const int subtract = static_cast<int>(rng() & 1);
            expect_add_sub(a, b, subtract,
                           "L=" + std::to_string(n) + " " + show(a) + (subtract ? " - " : " + ") + show(b));
        }
    }
}

// ---- Word operations against exact arithmetic -----------------------------------------------------------------

TEST_F(RealArith, WordProductsAndQuotientsAreExactTruncations) {
    Rng rng(202);
    for (int n : test_precisions(rng)) {
        num_ctx.real_limbs = n;
        for (int i = 0; i < cases_for(n, 4000); ++i) {
            Num a = random_real(rng, n, -40, 40);
            uint64_t w = rng() >> (rng() % 64);
            if (i % 5 == 0) w = a.limb(0) + (rng() % 3) - 1;  // around the choice of the shifted quotient
            if (i % 13 == 0) w = UINT64_MAX;
            const std::string what = "L=" + std::to_string(n) + " " + show(a) + " w=" + std::to_string(w);
            const mpz_class m = mantissa(a, n);
            num_ctx.error_code = 0;
            Num r;
            uint64_t guard = real_mul_word(r.p(), a.p(), w);
            if (w == 0) {
                EXPECT_TRUE(real_is_zero(r.p()) && r.neg() == a.neg()) << what;
            } else {
                EXPECT_TRUE(
                    is_truncation(r, &guard, a.neg(), m * mpz_class(static_cast<unsigned long>(w)), 1, scale(a, n)))
                    << what << " (mul)";
                guard = real_div_word(r.p(), a.p(), w);
                EXPECT_TRUE(
                    is_truncation(r, &guard, a.neg(), m, mpz_class(static_cast<unsigned long>(w)), scale(a, n), true))
                    << what << " (div)";
            }
            EXPECT_EQ(num_ctx.error_code, 0u) << what;
        }
    }
}

// ---- Accuracy of the rounded-off operations --------------------------------------------------------------------

// Bounds in units of the last limb of the result, (exact - result) / ulp: the largest errors seen over thirty
// times the sample below, rounded up. An error relative to the value shows as up to ten times as many ulps when
// the result's first digit is 9 rather than 1.
//
// The iterations stop when a digit counter reaches 19L; the counter assumes 18 digits from the reciprocal seed,
// 18.0 from the square root seed and 17.0 from the cube root seed. The seeds use only the first limb, so their
// worst relative errors are about 1.1e-18, 1e-18 and 3e-18, and where the counter lands just at 19L the last step
// may leave more than the few ulps of truncation. iteration_ulps is that excess:
// after k steps of an iteration with e' = c e^2 the relative error is (c e0)^(2^k) / c, at most 10^(19L) ulps per
// unit of relative error.
double iteration_ulps(int n, double e0, double c, int steps) {
    if (steps == 0) return 0;
    const double log_ulps = 19.0 * n + std::ldexp(1.0, steps) * std::log10(c * e0) - std::log10(c);
    return log_ulps > 300 ? HUGE_VAL : std::pow(10.0, log_ulps);
}

// Step counts, transcribed from the stopping rules (no guard digits).
int reciprocal_steps(int n) {
    int k = 0;
    for (int64_t digits = 18; n >= 2 && digits < 19 * n; digits *= 2) ++k;
    return k;
}
int sqrt_steps(int n) {
    int k = 0;
    for (int64_t tenths = 180; n >= 2 && tenths < 190 * n; tenths *= 2) ++k;
    return k;
}
int cbrt_steps(int n) {
    int k = 1;
    for (int64_t tenths = 340; tenths < 190 * n; tenths *= 2) ++k;
    return k;
}

double reciprocal_excess(int n) {
    return iteration_ulps(n, 1.1e-18, 1.0, reciprocal_steps(n));
}
double root_excess(int n, bool cube) {
    return cube ? iteration_ulps(n, 3e-18, 1.0, cbrt_steps(n)) : iteration_ulps(n, 1e-18, 0.5, sqrt_steps(n));
}

// A truncated product lies at most one ulp (plus the tiny sum of the left-out partial products) below the exact
// product and never above it. Binary powering compounds the truncation of each product, so its bound grows with
// the exponent k.
double error_bound(Op op, int n, uint64_t k) {
    switch (op) {
        case Op::kMul:
            return 1.0 + 1e-12;
        case Op::kReciprocal:
            return 12.0 + reciprocal_excess(n);
        case Op::kDiv:
            return 20.0 + 2.0 * reciprocal_excess(n);
        case Op::kSqrt:
            return 16.0 + root_excess(n, false) + 2.0 * reciprocal_excess(n);
        case Op::kCbrt:
            return 14.0 + root_excess(n, true) + 2.0 * reciprocal_excess(n);
        case Op::kHypot:
            return 16.0 + root_excess(n, false) + 2.0 * reciprocal_excess(n);
        case Op::kPow:
            return 10.0 * static_cast<double>(k) + 20.0 + 2.0 * reciprocal_excess(n);
        default:
            return 0;
    }
}

// (exact - r) / ulp(r) of op applied to a, b (k the exponent of pow_int).
double error_ulps(Op op, const Num& r, const Num& a, const Num& b, int64_t k, int n) {
    const mpz_class ma = mantissa(a, n), mb = mantissa(b, n);
    const i128 sa = scale(a, n), sb = scale(b, n);
    switch (op) {
        case Op::kMul:
            return ulp_error(r, ma * mb, 1, sa + sb);
        case Op::kReciprocal:
            return ulp_error(r, 1, ma, -sa);
        case Op::kDiv:
            return ulp_error(r, ma, mb, sa - sb);
        case Op::kSqrt:
            return root_ulp_error(r, 2, ma, sa);
        case Op::kCbrt:
            return root_ulp_error(r, 3, ma, sa);
        case Op::kPow: {
            const uint64_t m = k < 0 ? static_cast<uint64_t>(-k) : static_cast<uint64_t>(k);
            mpz_class power;
            mpz_pow_ui(power.get_mpz_t(), ma.get_mpz_t(), m);
            const i128 s = sa * static_cast<i128>(m);
            return k > 0 ? ulp_error(r, power, 1, s) : ulp_error(r, 1, power, -s);
        }
        case Op::kHypot: {
            const i128 low = std::min(sa, sb);
            return root_ulp_error(r, 2, ma * ma * pow10(2 * (sa - low)) + mb * mb * pow10(2 * (sb - low)), 2 * low);
        }
        default:
            return 0;
    }
}

bool expected_negative(Op op, const Num& a, const Num& b, int64_t k) {
    switch (op) {
        case Op::kMul:
        case Op::kDiv:
            return a.neg() != b.neg();
        case Op::kReciprocal:
        case Op::kCbrt:
            return a.neg();
        case Op::kPow:
            return a.neg() && (k & 1);
        default:
            return false;
    }
}

struct AccuracyCase {
    Op op;
    int budget;  // cases per precision times L
};

const AccuracyCase kAccuracyCases[] = {
    {Op::kMul, 3000}, {Op::kReciprocal, 600}, {Op::kDiv, 600},   {Op::kSqrt, 200},
    {Op::kCbrt, 200}, {Op::kPow, 150},        {Op::kHypot, 150},
};

TEST_F(RealArith, ResultsStayWithinTheirErrorBounds) {
    for (const auto& c : kAccuracyCases) {
        Rng rng(300 + static_cast<int>(c.op));
        for (int n : test_precisions(rng)) {
            num_ctx.real_limbs = n;
            for (int i = 0; i < cases_for(n, c.budget); ++i) {
                Num a = random_real(rng, n, -30, 30), b = random_real(rng, n, -30, 30);
                int64_t k = 0;
                if (c.op == Op::kSqrt) a.w[0] &= ~uint64_t{1};
                if (c.op == Op::kPow) {
                    a = random_real(rng, n, -3, 3);
                    k = 1 + static_cast<int64_t>(rng() % (n > 100 ? 24 : 60));
                    if (rng() & 1) k = -k;
                }
                if (c.op == Op::kHypot) {  // near the top of the range, and apart by more than L limbs
                    const int64_t top = rng() % 4 == 0 ? kMaxE - 40 : 0;
                    const int64_t spread = rng() % 4 == 0 ? 19 * n + 5 : 30;
                    a = random_real(rng, n, top - spread, top + 2);
                    b = random_real(rng, n, top - spread, top + 2);
                }
                const std::string what = std::string(op_name(c.op)) + " L=" + std::to_string(n) + " a=" + show(a) +
                                         " b=" + show(b) + " k=" + std::to_string(k);
                num_ctx.error_code = 0;
                Num r;
                run(c.op, r.p(), a.p(), b.p(), k);
                ASSERT_EQ(num_ctx.error_code, 0u) << what;
                ASSERT_EQ(r.neg(), expected_negative(c.op, a, b, k)) << what;
                const double err = error_ulps(c.op, r, a, b, k, n);
                const uint64_t m = k < 0 ? static_cast<uint64_t>(-k) : static_cast<uint64_t>(k);
                ASSERT_LE(std::fabs(err), error_bound(c.op, n, m)) << what;
                if (c.op == Op::kMul) {
                    ASSERT_GE(err, 0.0) << what << ": a truncated product is never above the exact one";
                }
                if (c.op == Op::kMul && n == 1) {
                    ASSERT_LT(err, 1.0) << what << ": the one-limb product is exact before truncation";
                }
            }
        }
    }
}

TEST_F(RealArith, CubeRootOfANegativeNumberIsTheNegatedRootOfItsMagnitude) {
    Rng rng(9);
    for (int n : {1, 2, 7, 40}) {
        num_ctx.real_limbs = n;
        for (int i = 0; i < 20; ++i) {
            Num a = random_real(rng, n, -50, 50);
            a.w[0] |= 1;
            Num neg_root, pos_root, magnitude = a;
            magnitude.w[0] &= ~uint64_t{1};
            real_cbrt(neg_root.p(), a.p());
            real_cbrt(pos_root.p(), magnitude.p());
            pos_root.w[0] |= 1;
            EXPECT_EQ(neg_root.w, pos_root.w) << show(a);
        }
    }
}

// ---- Aliasing and scratch use ----------------------------------------------------------------------------------

TEST_F(RealArith, DestinationMayBeAnOperandAndScratchIsGivenBack) {
    const Op kOps[] = {Op::kAdd,        Op::kSub,  Op::kMul,  Op::kMulWord, Op::kDiv,   Op::kDivWord,
                       Op::kReciprocal, Op::kSqrt, Op::kCbrt, Op::kPow,     Op::kHypot, Op::kFrac};
    Rng rng(808);
    for (int n : {1, 2, 5, 40}) {
        num_ctx.real_limbs = n;
        for (int i = 0; i < 5; ++i) {
            Num a = random_real(rng, n, -20, 20), b = random_real(rng, n, -20, 20);
            a.w[0] &= ~uint64_t{1};  // a valid square root operand
            const int64_t w = static_cast<int64_t>(rng() % 9) - 4;
            for (Op op : kOps) {
                const int64_t word = op == Op::kPow ? w : static_cast<int64_t>(rng() | 1);
                const std::string what = std::string(op_name(op)) + " L=" + std::to_string(n);
                const uint8_t* top = num_ctx.scratch_top;
                Num separate, square;
                run(op, separate.p(), a.p(), b.p(), word);
                run(op, square.p(), a.p(), a.p(), word);
                EXPECT_EQ(num_ctx.scratch_top, top) << what;
                Num first = a, second = b, same = a;
                run(op, first.p(), first.p(), b.p(), word);
                run(op, second.p(), a.p(), second.p(), word);
                run(op, same.p(), same.p(), same.p(), word);
                EXPECT_EQ(first.w, separate.w) << what << ", dst = a";
                EXPECT_EQ(second.w, separate.w) << what << ", dst = b";
                EXPECT_EQ(same.w, square.w) << what << ", dst = a = b";
            }
        }
    }
}

// ---- Guard precision -------------------------------------------------------------------------------------------

TEST_F(RealArith, GuardedReciprocalRoundsToTheUserPrecision) {
    Rng rng(909);
    for (int n : {1, 2, 9, 53, 200}) {
        for (int i = 0; i < 8; ++i) {
            num_ctx.real_limbs = n;
            Num b = random_real(rng, n, -10, 10);
            begin_guard(2);
            Num wide, r, narrow;
            guard_widen(wide.p(), b.p());
            real_reciprocal(r.p(), wide.p());
            guard_narrow(narrow.p(), r.p());
            end_guard();
            ASSERT_EQ(num_ctx.error_code, 0u);
            // rounded from a guard limb good to 2 digits beyond the user's 19L: within one unit
            const double err = ulp_error(narrow, 1, mantissa(b, n), -scale(b, n));
            EXPECT_LE(std::fabs(err), 1.0) << "L=" << n << " " << show(b);
        }
    }
}

}  // namespace

// Just above 1 the one-limb seed of the square root is good to only about 18.3 digits. At the precisions where the
// step count lands exactly on 19L (powers of two, and the calculator's guarded 2^k) the last step must still
// deliver every digit.
TEST_F(RealArith, SquareRootJustAboveOneKeepsEveryDigitAtStepBoundaries) {
    for (int n : {16, 32, 64, 128, 256, 512}) {
        num_ctx.real_limbs = n;
        for (uint64_t second : {kB - 1, kB / 2, uint64_t{1}}) {
            Num a = make(0, false, std::vector<uint64_t>(static_cast<size_t>(n), second));
            a.w[1] = kOne;
            Num r;
            real_sqrt(r.p(), a.p());
            const std::string what = "L=" + std::to_string(n) + " second limb " + std::to_string(second);
            EXPECT_LE(std::fabs(root_ulp_error(r, 2, mantissa(a, n), scale(a, n))), 16.0) << what;
        }
    }
}
