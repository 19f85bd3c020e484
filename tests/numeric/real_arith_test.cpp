// RealNum arithmetic: edge cases as tables, and differential tests against GMP and MPFR at 1 to 527 limbs.
#include "numeric/real_arith.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numeric/limb_kernels.h"
#include "numeric/num_context.h"

namespace {

constexpr uint64_t kB = kLimbBase;
constexpr uint64_t kOne = kB / 10;  // limb 0 of the mantissa 1
constexpr int64_t kMaxE = kMaxExponent;
using i128 = __int128;
using Rng = std::mt19937_64;

class RealArith : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { init_numeric_context(); }
    void SetUp() override {
        num_ctx.real_limbs = 1;
        num_ctx.error_code = num_ctx.guard_digit_reduction = num_ctx.guard_limbs = 0;
        num_ctx.no_rounding = num_ctx.underflow_is_error = 0;
    }
};

// A RealNum record large enough for every precision.
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
    std::copy(limbs.begin(), limbs.end(), x.w.begin() + 1);
    return x;
}
Num num(uint64_t limb0, int64_t e, bool negative = false) {
    return make(e, negative, {limb0});
}

std::string show(const Num& x) {
    const int n = num_ctx.real_limbs;
    std::string s = x.neg() ? "-[" : "+[";
    for (int i = 0; i < n && i < 6; ++i) s += std::to_string(x.limb(i)) + (i + 1 < n ? "," : "");
    return s + (n > 6 ? "...]e" : "]e") + std::to_string(x.e());
}
mpz_class pow10(i128 k) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(k));
    return r;
}
mpz_class mantissa(const Num& x, int n) {
    mpz_class m = 0;
    for (int i = 0; i < n; ++i) m = m * kB + mpz_class(static_cast<unsigned long>(x.limb(i)));
    return m;
}
i128 scale(const Num& x, int n) {
    return static_cast<i128>(x.e()) + 1 - 19 * n;
}

// (exact - |x|) / ulp(x) for the exact value num/den * 10^k > 0; -1e300 when x's exponent is off by millions.
mpq_class excess(const Num& x, const mpz_class& num, const mpz_class& den, i128 k) {
    const i128 s = k - scale(x, num_ctx.real_limbs);
    if (s > 1000000 || s < -1000000) return mpq_class(-1e300);
    mpq_class q(num * (s >= 0 ? pow10(s) : mpz_class(1)), den * (s < 0 ? pow10(-s) : mpz_class(1)));
    q.canonicalize();
    return q - mantissa(x, num_ctx.real_limbs);
}

// x (and its returned guard, unless null) is the truncation of (-1)^negative * num/den * 10^k: normalised, excess in
// [0, 1) units, the guard its next limb (with guard_prefix, maybe less low digits lost to a normalising shift).
::testing::AssertionResult is_truncation(const Num& x, const uint64_t* guard, bool negative, const mpz_class& num,
                                         const mpz_class& den, i128 k, bool guard_prefix = false) {
    if (num == 0 && real_is_zero(x.p()) && !x.neg() && x.e() == 0) return ::testing::AssertionSuccess();
    const mpq_class d = num == 0 ? mpq_class(-1) : excess(x, num, den, k);
    const mpq_class next_limb = d * mpz_class(static_cast<unsigned long>(kB));
    mpz_class g;
    mpz_fdiv_q(g.get_mpz_t(), next_limb.get_num_mpz_t(), next_limb.get_den_mpz_t());
    const uint64_t want = d >= 0 && d < 1 ? g.get_ui() : 0;
    bool ok = x.neg() == negative && x.limb(0) >= kOne && x.limb(0) < kB && d >= 0 && d < 1;
    bool guard_ok = guard == nullptr || *guard == want;
    for (int drop = 1; guard_prefix && !guard_ok && drop <= 18; ++drop)
        guard_ok = *guard == want / kPow10[drop] * kPow10[drop];
    if (ok && guard_ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << show(x) << " guard " << (guard ? *guard : 0) << ", exact is "
                                         << d.get_d() << " units above it, next limb " << want;
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
    (index == 2 ? mpfr_sqrt : mpfr_cbrt)(r, r, MPFR_RNDN);
    mpfr_sub_z(r, r, mantissa(x, n).get_mpz_t(), MPFR_RNDN);
    const double d = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clear(r);
    return d;
}

// A normalised random number: mostly uniform digits, sometimes runs of nines or zeros and powers of ten.
Num random_real(Rng& rng, int n, int64_t e_low, int64_t e_high) {
    const int64_t e =
        std::clamp(e_low + static_cast<int64_t>(rng() % static_cast<uint64_t>(e_high - e_low + 1)), -kMaxE, kMaxE);
    Num x = make(e, rng() & 1, {});
    const int pattern = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) {
        uint64_t limb = rng() % kB;
        if (pattern == 0) limb = kB - 1;
        if (pattern == 1) limb = 0;
        if (pattern == 2 && rng() % 4 != 0) limb = (rng() & 1) ? 0 : kB - 1;
        x.w[1 + i] = limb;
    }
    if (x.w[1] < kOne) x.w[1] = kOne + x.w[1] % (kB - kOne);
    if (pattern == 1) x.w[1] = kOne * (1 + rng() % 9);
    return x;
}

// Precisions of the differential tests: both sides of the iteration-count steps (19L crossing 18 * 2^k), the
// product's split at 300 limbs, the largest, and a few random ones. Cases per precision: budget / L, at least 1.
std::vector<int> test_precisions(Rng& rng) {
    std::vector<int> ls = {1, 2, 3, 4, 7, 8, 15, 16, 30, 31, 53, 121, 264, 300, 485, 527};
    for (int i = 0; i < 4; ++i) ls.push_back(1 + static_cast<int>(rng() % 527));
    return ls;
}
int cases_for(int n, int budget) {
    return std::max(n > 256 ? 1 : 2, budget / n);
}

enum class Op { kAdd, kSub, kMul, kMulWord, kDiv, kDivWord, kReciprocal, kSqrt, kCbrt, kPow, kHypot, kFrac, kAddExp };
const char* const kOpNames[] = {"add",  "sub",  "mul",     "mul_word", "div",  "div_word",    "reciprocal",
                                "sqrt", "cbrt", "pow_int", "hypot",    "frac", "add_exponent"};

// dst = op(a, b); w is the word of the word operations, the exponent of pow_int and the exponent step of
// add_exponent. Returns the guard of the operations that deliver one, else 0.
using OpFn = uint64_t (*)(RealNum*, const RealNum*, const RealNum*, uint64_t);
const OpFn kOpFns[] = {
    [](RealNum* d, const RealNum* a, const RealNum* b, uint64_t) { return real_add_sub(d, a, b, 0); },
    [](RealNum* d, const RealNum* a, const RealNum* b, uint64_t) { return real_add_sub(d, a, b, 1); },
    [](RealNum* d, const RealNum* a, const RealNum* b, uint64_t) { return real_mul(d, a, b); },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t w) { return real_mul_word(d, a, w); },
    [](RealNum* d, const RealNum* a, const RealNum* b, uint64_t) { return real_div(d, a, b); },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t w) { return real_div_word(d, a, w); },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t) { return real_reciprocal(d, a), uint64_t{0}; },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t) { return real_sqrt(d, a), uint64_t{0}; },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t) { return real_cbrt(d, a), uint64_t{0}; },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t w) {
        return real_pow_int(d, a, static_cast<int64_t>(w)), uint64_t{0};
    },
    [](RealNum* d, const RealNum* a, const RealNum* b, uint64_t) { return real_hypot(d, a, b), uint64_t{0}; },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t) { return real_frac(d, a), uint64_t{0}; },
    [](RealNum* d, const RealNum* a, const RealNum*, uint64_t w) {
        std::copy(a, a + 1 + num_ctx.real_limbs, d);
        return real_add_exponent(d, static_cast<int64_t>(w)), uint64_t{0};
    }};
uint64_t run(Op op, RealNum* dst, const RealNum* a, const RealNum* b, int64_t w) {
    return kOpFns[static_cast<int>(op)](dst, a, b, static_cast<uint64_t>(w));
}

constexpr uint64_t kAnyGuard = UINT64_MAX;

// clang-format off
struct OpCase { const char* what; int limbs; Op op; Num a, b; int64_t w; uint32_t error; Num result;
                uint64_t guard = kAnyGuard; };
// clang-format on

const Num kZero = num(0, 0), kNegZero = num(0, 0, true), kNone = num(0, 0);

// Exact rounding of nonzero operands is the business of the differential tests below; the rows hold the exponent
// limits (with a sum that wraps 64 bits), zeros, signs, errors and exact results.
const OpCase kOpCases[] = {
    {"exponent reaches the top", 1, Op::kAddExp, num(3 * kOne, 0, true), kNone, kMaxE, 0, num(3 * kOne, kMaxE, true)},
    {"exponent one above the top", 1, Op::kAddExp, num(3 * kOne, 1, true), kNone, kMaxE, 10, kZero},
    {"positive exponent wrap overflows", 1, Op::kAddExp, num(3 * kOne, kMaxE), kNone, INT64_MAX, 10, kZero},
    {"negative exponent wrap underflows", 1, Op::kAddExp, num(3 * kOne, -kMaxE, true), kNone, INT64_MIN, 0, kNegZero},
    {"exponent one below the bottom", 1, Op::kAddExp, num(3 * kOne, -1, true), kNone, -kMaxE, 0, kNegZero},
    {"product keeps the largest exponent", 1, Op::kMul, num(kOne, kMaxE - 3), num(kOne, 3), 0, 0, num(kOne, kMaxE)},
    {"exponent sum 2^62 overflows to +0", 1, Op::kMul, num(kOne, kMaxE, true), num(kOne, 1), 0, 10, kZero},
    {"underflow keeps the sign", 1, Op::kMul, num(kOne, -kMaxE, true), num(kOne, -1), 0, 0, kNegZero},
    {"product of a zero is signed", 1, Op::kMul, kNegZero, num(kOne, 3), 0, 0, kNegZero},
    {"product of an unnormalised operand", 1, Op::kMul, num(kOne / 10, 0), num(kOne, 0), 0, 30, kZero},
    {"0 - b flips b", 1, Op::kSub, kZero, num(3 * kOne, 4), 0, 0, num(3 * kOne, 4, true), 0},
    {"0 - 0 flips the zero", 1, Op::kSub, kZero, kZero, 0, 0, kNegZero, 0},
    {"a - 0 is a", 1, Op::kSub, num(3 * kOne, 4, true), kZero, 0, 0, num(3 * kOne, 4, true), 0},
    {"division by the word 0", 1, Op::kDivWord, num(9 * kOne, 0, true), kNone, 0, 13, kZero},
    {"word quotient underflows", 1, Op::kDivWord, num(kOne, -kMaxE), kNone, 2, 0, kZero},
    {"word product overflows", 1, Op::kMulWord, num(5 * kOne, kMaxE), kNone, 2, 10, kZero},
    {"word product that cannot be normalised", 2, Op::kMulWord, make(0, false, {0, 5}), kNone, 1, 30, kZero},
    {"reciprocal of zero", 2, Op::kReciprocal, kNegZero, kNone, 0, 13, kZero},
    {"reciprocal of an unnormalised number", 2, Op::kReciprocal, num(kOne / 10, 0), kNone, 0, 30, kZero},
    {"-5 / 0 is a negative zero", 2, Op::kDiv, num(5 * kOne, 0, true), kZero, 0, 13, kNegZero},
    {"5 / -0 is +0", 2, Op::kDiv, num(5 * kOne, 0), kNegZero, 0, 13, kZero},
    {"quotient underflows", 2, Op::kDiv, num(kOne, -kMaxE), num(2 * kOne, 0), 0, 0, kZero},
    {"quotient overflows", 2, Op::kDiv, num(kOne, kMaxE), num(kOne, -1), 0, 10, kZero},
    {"sqrt 2 at one limb is the seed", 1, Op::kSqrt, num(2 * kOne, 0), kNone, 0, 0, num(1414213562373095049, 0)},
    {"sqrt -0 is -0", 2, Op::kSqrt, kNegZero, kNone, 0, 0, kNegZero},
    {"sqrt of a negative number", 2, Op::kSqrt, num(4 * kOne, 0, true), kNone, 0, 14, kZero},
    {"sqrt 25e-20 is exact", 2, Op::kSqrt, num(kOne / 10 * 25, -19), kNone, 0, 0, num(5 * kOne, -10)},
    {"cbrt -0 is -0", 2, Op::kCbrt, kNegZero, kNone, 0, 0, kNegZero},
    {"0^0 is 1", 2, Op::kPow, kZero, kNone, 0, 0, num(kOne, 0)},
    {"0^-1 is a domain error", 2, Op::kPow, kZero, kNone, -1, 14, kZero},
    {"(-0)^3 is +0", 2, Op::kPow, kNegZero, kNone, 3, 0, kZero},
    {"1^INT64_MIN", 2, Op::kPow, num(kOne, 0), kNone, INT64_MIN, 0, num(kOne, 0)},
    {"(-1)^INT64_MAX", 2, Op::kPow, num(kOne, 0, true), kNone, INT64_MAX, 0, num(kOne, 0, true)},
    {"10^(2^62) overflows", 2, Op::kPow, num(kOne, 1), kNone, int64_t{1} << 62, 10, kZero},
    {"hypot 3, -4 is 5", 2, Op::kHypot, num(3 * kOne, 0), num(4 * kOne, 0, true), 0, 0, num(5 * kOne, 0)},
};

TEST_F(RealArith, OperationsMeetTheirEdgeCases) {
    for (const auto& c : kOpCases) {
        num_ctx.real_limbs = c.limbs;
        num_ctx.error_code = 0;
        Num r;
        std::fill(r.w.begin(), r.w.end(), 0x5A5A5A5A);  // every word of the result must be written
        const uint64_t guard = run(c.op, r.p(), c.a.p(), c.b.p(), c.w);
        EXPECT_EQ(num_ctx.error_code, c.error) << c.what;
        for (int i = 0; i <= c.limbs; ++i) EXPECT_EQ(r.w[i], c.result.w[i]) << c.what << ", word " << i;
        EXPECT_TRUE(c.guard == kAnyGuard || guard == c.guard) << c.what << ": guard " << guard;
    }
}

// From machine words (the next limb returned) and comparison with them; integer tests, fractional part and conversion
// to words against the exact value, around the units digit of every limb and at the limits of 2^63 and 2^64.
TEST_F(RealArith, WordConversionsAndPartsFollowTheExactValue) {
    const uint64_t kTop = uint64_t{1} << 63;  // INT64_MIN as a word; UINT64_MAX is -1
    const uint64_t kWords[] = {0, 1, 9, 10, 0 - 10ull, kB - 1, kB, UINT64_MAX, kTop, kTop - 1, kTop + 1, kOne - 1};
    constexpr uint64_t kLimit = 1844674407370955161;  // floor((2^64 - 1) / 10): limb 0 of E = 19 words
    // clang-format off
    const Num kSpecial[] = {kNegZero, num(kOne, 20), make(19, false, {kLimit, 5 * kOne}),
                            make(19, false, {kLimit, 6 * kOne}), make(19, false, {kLimit, 5 * kOne + 1}),
                            num(9223372036854775807ull, 18), num(9223372036854775808ull, 18, true),
                            num(9223372036854775808ull, 18), num(9223372036854775809ull, 18, true)};
    // clang-format on
    const mpz_class two63 = mpz_class(kTop), two64 = two63 * 2;
    Rng rng(7);
    for (int i = 0; i < 6000; ++i) {
        int n = i % 100 == 1 ? 527 : 1 + i % 3;
        num_ctx.real_limbs = n;
        Num x = random_real(rng, n, -2, 19 * n + 1), y;
        if (i % 2 == 1) {
            const uint64_t u = i < 24 ? kWords[i / 2] : rng() >> (rng() % 64);
            const int64_t v = static_cast<int64_t>(u);
            const int64_t w = i % 3 == 0 ? v : i % 3 == 1 ? v + (v < INT64_MAX) : static_cast<int64_t>(rng());
            uint64_t guard = real_from_u64(y.p(), u);
            EXPECT_TRUE(is_truncation(y, &guard, false, mpz_class(u), 1, 0)) << "L=" << n << " u=" << u;
            guard = real_from_i64(x.p(), v);
            EXPECT_TRUE(is_truncation(x, &guard, v < 0, mpz_class(v < 0 ? 0 - u : u), 1, 0)) << "L=" << n << " v=" << v;
            EXPECT_EQ(real_compare_i64(x.p(), w), v < w ? -1 : (v > w ? 1 : 0)) << v << " vs " << w;
        }
        if (i < static_cast<int>(std::size(kSpecial))) x = kSpecial[i], n = num_ctx.real_limbs = 2;
        const mpz_class m = mantissa(x, n);
        const i128 s = scale(x, n);
        const mpz_class t = s >= 0 ? mpz_class(m * pow10(s)) : mpz_class(m / pow10(-s));  // |x| truncated
        const mpz_class f = s >= 0 ? mpz_class(0) : mpz_class(m % pow10(-s));             // and the rest
        const std::string what = "L=" + std::to_string(n) + " " + show(x);
        EXPECT_EQ(real_is_integer(x.p()), f == 0) << what;
        EXPECT_EQ(real_is_even(x.p()), mpz_even_p(t.get_mpz_t()) != 0) << what;
        Num r;
        real_frac(r.p(), x.p());
        EXPECT_TRUE(f == 0 ? real_is_zero(r.p()) && r.neg() == x.neg() : is_truncation(r, nullptr, x.neg(), f, 1, s))
            << "frac " << what;
        const uint32_t quiet = (i / 3) % 2 == 0 ? 0u : uint32_t{kToIntQuiet};
        constexpr uint32_t T = kToIntTruncate;
        for (const uint32_t flags : {0u, T, T | kToIntNegativeMagnitude}) {
            const bool whole = f == 0 || (flags & kToIntTruncate) != 0;
            const bool fits_signed = whole && t <= (x.neg() ? two63 : two63 - 1);
            const bool fits_unsigned = whole && t < two64 && (!x.neg() || m == 0 || (flags & kToIntNegativeMagnitude));
            int64_t sv = 77;
            uint64_t uv = 77;
            num_ctx.error_code = 0;
            EXPECT_EQ(real_to_i64(&sv, x.p(), flags | quiet), fits_signed) << what << " flags " << flags;
            EXPECT_TRUE(mpz_class(static_cast<long>(sv)) == (fits_signed ? mpz_class(x.neg() ? -t : t) : 0)) << what;
            EXPECT_EQ(num_ctx.error_code, fits_signed || quiet ? 0u : 14u) << what << " flags " << flags;
            num_ctx.error_code = 0;
            EXPECT_EQ(real_to_u64(&uv, x.p(), flags | quiet), fits_unsigned) << what << " flags " << flags;
            EXPECT_TRUE(mpz_class(static_cast<unsigned long>(uv)) == (fits_unsigned ? t : 0)) << what;
            EXPECT_EQ(num_ctx.error_code, fits_unsigned || quiet ? 0u : 14u) << what << " flags " << flags;
        }
    }
}

// Big integers of w words, the top ones zero, truncated to L limbs.
TEST_F(RealArith, BigIntegersConvertToTheirTruncatedDigits) {
    Rng rng(5);
    for (int n : {1, 2, 3, 10, 53, 527}) {
        num_ctx.real_limbs = n;
        for (int trial = 0; trial < 40; ++trial) {
            const int w = trial == 0 ? 2000 : 1 + static_cast<int>(rng() % (trial < 20 ? 4 : 80));
            std::vector<uint64_t> words(w + 2, 0);  // two zero words on top are skipped
            for (int i = 0; i < w; ++i) words[i] = trial % 5 == 1 ? UINT64_MAX : rng() >> (rng() % 64);
            if (trial == 1) std::fill(words.begin(), words.end(), 0);
            mpz_class v;
            mpz_import(v.get_mpz_t(), words.size(), -1, 8, 0, 0, words.data());
            num_ctx.error_code = 0;
            Num x = num(kOne, 0, true);  // the result is positive whatever dst held
            real_from_bigint(x.p(), w + 2, words.data());
            EXPECT_EQ(num_ctx.error_code, 0u);
            EXPECT_TRUE(is_truncation(x, nullptr, false, v, 1, 0)) << "L=" << n << " w=" << w << " trial " << trial;
        }
    }
    const Num half = num(5 * kOne, -1, true);  // and a fraction against machine integers
    EXPECT_EQ(real_compare_i64(half.p(), 0), -1);
    EXPECT_EQ(real_compare_i64(half.p(), -1), 1);
}

// The order of nonzero numbers is checked against the exact difference by the addition test below.
TEST_F(RealArith, ComparisonsOfZerosAndScaledOperands) {
    const Num tiny = num(kOne, -5), minus_tiny = num(kOne, -5, true);
    EXPECT_EQ(real_compare(kZero.p(), kNegZero.p()), 0);
    EXPECT_EQ(real_compare(kZero.p(), tiny.p()), -1);
    EXPECT_EQ(real_compare(tiny.p(), kZero.p()), 1);
    EXPECT_EQ(real_compare(kNegZero.p(), minus_tiny.p()), 1);
    EXPECT_EQ(real_compare(minus_tiny.p(), kNegZero.p()), -1);
    // clang-format off
    const struct { Num a; int32_t m; int64_t e; int compare; uint32_t compare_error; bool at_least;
                   uint32_t at_least_error; } kCases[] = {  // against (m / 10^8) * 10^e
        {num(1234567890000000000, 3), 123456789, 3, 0, 0, true, 0},
        {num(1234567890000000001, 3), 123456789, 3, 1, 0, true, 0},
        {num(1234567880000000000, 3), 123456789, 3, -1, 0, false, 0},
        {num(9 * kOne, 2), 123456789, 3, -1, 0, false, 0},
        {num(kOne, 4, true), 123456789, 3, -1, 0, true, 0},
        {num(kOne, 4, true), -123456789, 3, -1, 0, false, 14},
        {num(kOne, 2, true), -123456789, 3, 1, 0, false, 14},
        {num(0, 0), -123456789, -7, 1, 0, false, 0},
        {num(kOne, 0), 12345678, 0, 0, 14, false, 14},
        {num(2 * kOne, 1), 1234567890, 0, 0, 14, true, 0},  // ten digits: the first limb is m * 10^9, E + 1
        {num(1234567890000000000, 1), 1234567890, 0, 0, 14, true, 0},
        {num(1234567889999999999, 1), 1234567890, 0, 0, 14, false, 0},
        {num(0, 0), 0, 0, 0, 14, true, 0}};
    // clang-format on
    for (const auto& c : kCases) {
        num_ctx.error_code = 0;
        EXPECT_EQ(real_compare_scaled(c.a.p(), c.m, c.e), c.compare) << show(c.a) << " vs " << c.m;
        EXPECT_EQ(num_ctx.error_code, c.compare_error) << show(c.a) << " vs " << c.m;
        num_ctx.error_code = 0;
        EXPECT_EQ(real_abs_at_least(c.a.p(), c.m, c.e), c.at_least) << show(c.a) << " vs " << c.m;
        EXPECT_EQ(num_ctx.error_code, c.at_least_error) << show(c.a) << " vs " << c.m;
    }
}

// The sum as real_add_sub defines it: the operand with the smaller exponent is cut to L + 1 limbs at the scale of
// the other, then the sum is exact and truncated to L limbs. real_compare must follow the sign of the exact a - b.
void expect_add_sub(const Num& a, const Num& b, int subtract, const std::string& what) {
    const int n = num_ctx.real_limbs;
    const i128 common = std::min(scale(a, n), scale(b, n));
    const mpz_class a_minus_b = (a.neg() ? -1 : 1) * mantissa(a, n) * pow10(scale(a, n) - common) -
                                (b.neg() ? -1 : 1) * mantissa(b, n) * pow10(scale(b, n) - common);
    EXPECT_EQ(real_compare(a.p(), b.p()), sgn(a_minus_b)) << what;
    num_ctx.error_code = 0;
    Num r;
    const uint64_t guard = real_add_sub(r.p(), a.p(), b.p(), subtract);
    const bool b_is_low = a.e() >= b.e();
    const Num& high = b_is_low ? a : b;
    const Num& low = b_is_low ? b : a;
    const i128 grid = scale(high, n) - 19;
    const i128 drop = grid - scale(low, n);
    mpz_class low_m = drop > 19 * n + 2 ? mpz_class(0) : mantissa(low, n);
    if (drop > 0) low_m /= pow10(std::min<i128>(drop, 19 * n + 3));
    if (drop < 0) low_m *= pow10(-drop);
    const bool b_negative = b.neg() != (subtract != 0);
    const bool low_negative = b_is_low ? b_negative : a.neg();
    const mpz_class high_m = mantissa(high, n) * kB;
    const mpz_class sum = ((b_is_low ? a.neg() : b_negative) ? -high_m : high_m) + (low_negative ? -low_m : low_m);
    if (sum == 0) {
        EXPECT_TRUE(real_is_zero(r.p())) << what;
        EXPECT_EQ(r.neg(), a.neg()) << what << ": equal magnitudes keep a's sign";
        return;
    }
    const i128 e = grid + static_cast<i128>(mpz_class(abs(sum)).get_str().size()) - 1;
    if (e > kMaxE || e < -kMaxE) {
        EXPECT_TRUE(real_is_zero(r.p())) << what;
        EXPECT_EQ(num_ctx.error_code, e > kMaxE ? 10u : 0u) << what;
        return;
    }
    EXPECT_TRUE(is_truncation(r, &guard, sum < 0, abs(sum), 1, grid)) << what;
}

// Bounds in units of the last limb, (exact - result) / ulp: the largest errors seen over thirty times the sample
// below, rounded up (up to ten times more ulps when the result's first digit is 9 rather than 1). The iterations
// stop when a digit counter reaches 19L, assuming 18 digits from the reciprocal seed, 18.0 from the square root's
// and 17.0 from the cube root's; their worst relative errors are about 1.1e-18, 1e-18 and 3e-18, so where the
// counter lands just at 19L the last step may leave more. iteration_ulps is that excess: after k steps of
// e' = c e^2 the relative error is (c e0)^(2^k) / c, at most 10^(19L) ulps per unit of relative error.
double iteration_ulps(int n, double e0, double c, int steps) {
    if (steps == 0) return 0;
    const double log_ulps = 19.0 * n + std::ldexp(1.0, steps) * std::log10(c * e0) - std::log10(c);
    return log_ulps > 300 ? HUGE_VAL : std::pow(10.0, log_ulps);
}

// Step counts, transcribed from the stopping rules (no guard digits): the first counter value, the one-limb rule.
int steps(int n, int64_t start, int64_t per_limb, bool one_limb_steps) {
    int k = one_limb_steps ? 1 : 0;
    for (int64_t digits = start; (one_limb_steps || n >= 2) && digits < per_limb * n; digits *= 2) ++k;
    return k;
}
double reciprocal_excess(int n) {
    return iteration_ulps(n, 1.1e-18, 1.0, steps(n, 18, 19, false));
}

// A truncated product lies at most one ulp (plus the tiny sum of the left-out partial products) below the exact
// product and never above it. Binary powering compounds the truncation of each product: the bound grows with k.
double error_bound(Op op, int n, uint64_t k) {
    const double sqrt_excess = iteration_ulps(n, 1e-18, 0.5, steps(n, 180, 190, false));
    const double cbrt_excess = iteration_ulps(n, 3e-18, 1.0, steps(n, 340, 190, true));
    if (op == Op::kMul) return 1.0 + 1e-12;
    if (op == Op::kReciprocal) return 12.0 + reciprocal_excess(n);
    if (op == Op::kDiv) return 20.0 + 2.0 * reciprocal_excess(n);
    if (op == Op::kSqrt || op == Op::kHypot) return 16.0 + sqrt_excess + 2.0 * reciprocal_excess(n);
    if (op == Op::kCbrt) return 14.0 + cbrt_excess + 2.0 * reciprocal_excess(n);
    if (op == Op::kPow) return 10.0 * static_cast<double>(k) + 20.0 + 2.0 * reciprocal_excess(n);
    return 0;
}

// (exact - r) / ulp(r) of op applied to a, b (k the exponent of pow_int), and the sign r must have.
double error_ulps(Op op, const Num& r, const Num& a, const Num& b, int64_t k, int n) {
    const mpz_class ma = mantissa(a, n), mb = mantissa(b, n);
    const i128 sa = scale(a, n), sb = scale(b, n);
    if (op == Op::kMul) return excess(r, ma * mb, 1, sa + sb).get_d();
    if (op == Op::kReciprocal) return excess(r, 1, ma, -sa).get_d();
    if (op == Op::kDiv) return excess(r, ma, mb, sa - sb).get_d();
    if (op == Op::kSqrt) return root_ulp_error(r, 2, ma, sa);
    if (op == Op::kCbrt) return root_ulp_error(r, 3, ma, sa);
    if (op == Op::kPow) {
        const uint64_t m = k < 0 ? static_cast<uint64_t>(-k) : static_cast<uint64_t>(k);
        mpz_class power;
        mpz_pow_ui(power.get_mpz_t(), ma.get_mpz_t(), m);
        const i128 s = sa * static_cast<i128>(m);
        return (k > 0 ? excess(r, power, 1, s) : excess(r, 1, power, -s)).get_d();
    }
    const i128 low = std::min(sa, sb);  // hypot
    return root_ulp_error(r, 2, ma * ma * pow10(2 * (sa - low)) + mb * mb * pow10(2 * (sb - low)), 2 * low);
}
bool expected_negative(Op op, const Num& a, const Num& b, int64_t k) {
    if (op == Op::kMul || op == Op::kDiv) return a.neg() != b.neg();
    if (op == Op::kReciprocal || op == Op::kCbrt) return a.neg();
    return op == Op::kPow && a.neg() && (k & 1);
}

// Every operation against its oracle over the test precisions: the sums exactly as defined above, the word product
// and quotient as exact truncations, the others within their error bounds and with the right sign.
TEST_F(RealArith, ResultsMatchTheExactOracle) {
    const std::pair<Op, int> kBudgets[] = {{Op::kAdd, 1500},     {Op::kSub, 1500}, {Op::kMulWord, 2000},
                                           {Op::kDivWord, 2000}, {Op::kMul, 3000}, {Op::kReciprocal, 600},
                                           {Op::kDiv, 600},      {Op::kSqrt, 200}, {Op::kCbrt, 200},
                                           {Op::kPow, 150},      {Op::kHypot, 150}};  // cases per precision times L
    for (const auto& [op, budget] : kBudgets) {
        Rng rng(300 + static_cast<int>(op));
        for (int n : test_precisions(rng)) {
            num_ctx.real_limbs = n;
            for (int i = 0; i < cases_for(n, budget); ++i) {
                Num a = random_real(rng, n, -30, 30), b = random_real(rng, n, -30, 30);
                int64_t k = 0;
                if (op == Op::kAdd || op == Op::kSub) {  // far apart, at the exponent limits, cancelling
                    const int64_t spread = static_cast<int64_t>(rng() % 4 == 0 ? 19 * n + 60 : 25);
                    const int64_t base = rng() % 16 == 0 ? kMaxE - 1 : (rng() % 16 == 0 ? -kMaxE + 1 : 0);
                    a = random_real(rng, n, base - spread / 2, base + spread / 2);
                    b = i % 7 == 0 ? a : random_real(rng, n, base - spread / 2, base + spread / 2);
                    if (i % 11 == 0) b.w[n] ^= 1;
                }
                if (op == Op::kMulWord || op == Op::kDivWord) {
                    k = static_cast<int64_t>(rng() >> (rng() % 64));
                    if (i % 5 == 0) k = static_cast<int64_t>(a.limb(0) + rng() % 3 - 1);  // the shifted quotient
                    if (i % 13 == 0) k = -1;                                              // UINT64_MAX
                }
                if (op == Op::kSqrt) a.w[0] &= ~uint64_t{1};
                if (op == Op::kPow) {
                    a = random_real(rng, n, -3, 3);
                    k = 1 + static_cast<int64_t>(rng() % (n > 100 ? 24 : 60));
                    if (rng() & 1) k = -k;
                }
                if (op == Op::kHypot) {  // near the top of the range, and apart by more than L limbs
                    const int64_t top = rng() % 4 == 0 ? kMaxE - 40 : 0;
                    const int64_t spread = rng() % 4 == 0 ? 19 * n + 5 : 30;
                    a = random_real(rng, n, top - spread, top + 2);
                    b = random_real(rng, n, top - spread, top + 2);
                }
                const std::string what = std::string(kOpNames[static_cast<int>(op)]) + " L=" + std::to_string(n) +
                                         " a=" + show(a) + " b=" + show(b) + " k=" + std::to_string(k);
                if (op == Op::kAdd || op == Op::kSub) {
                    ASSERT_NO_FATAL_FAILURE(expect_add_sub(a, b, op == Op::kSub, what));
                    continue;
                }
                num_ctx.error_code = 0;
                Num r;
                uint64_t guard = run(op, r.p(), a.p(), b.p(), k);
                if (op == Op::kDivWord && k == 0) continue;  // error 13, in the edge cases
                ASSERT_EQ(num_ctx.error_code, 0u) << what;
                const mpz_class word(static_cast<unsigned long>(k));
                if (op == Op::kMulWord) {
                    ASSERT_TRUE(k == 0 ? real_is_zero(r.p()) && r.neg() == a.neg()
                                       : is_truncation(r, &guard, a.neg(), mantissa(a, n) * word, 1, scale(a, n)))
                        << what;
                    continue;
                }
                if (op == Op::kDivWord) {
                    ASSERT_TRUE(is_truncation(r, &guard, a.neg(), mantissa(a, n), word, scale(a, n), true)) << what;
                    continue;
                }
                ASSERT_EQ(r.neg(), expected_negative(op, a, b, k)) << what;
                const double err = error_ulps(op, r, a, b, k, n);
                ASSERT_LE(std::fabs(err), error_bound(op, n, static_cast<uint64_t>(k < 0 ? -k : k))) << what;
                if (op == Op::kMul) {
                    ASSERT_GE(err, 0.0) << what << ": a truncated product is never above the exact one";
                    ASSERT_TRUE(n > 1 || err < 1.0) << what << ": the one-limb product is exact before truncation";
                }
            }
        }
    }
}

// Just above 1 the one-limb square root seed is good to only about 18.3 digits. Where the step count lands exactly
// on 19L (powers of two, and the calculator's guarded 2^k) the last step must still deliver every digit.
TEST_F(RealArith, SquareRootJustAboveOneKeepsEveryDigitAtStepBoundaries) {
    for (int n : {16, 32, 64, 128, 256, 512}) {
        num_ctx.real_limbs = n;
        for (uint64_t second : {kB - 1, kB / 2, uint64_t{1}}) {
            Num a = make(0, false, std::vector<uint64_t>(static_cast<size_t>(n), second));
            a.w[1] = kOne;
            Num r;
            real_sqrt(r.p(), a.p());
            EXPECT_LE(std::fabs(root_ulp_error(r, 2, mantissa(a, n), scale(a, n))), 16.0)
                << "L=" << n << " second limb " << second;
        }
    }
}

// Rounded from a guard limb good to 2 digits beyond the user's 19L, a reciprocal is within one unit. real_resize
// narrows as guard_narrow does (truncating with no_rounding) and widens with zeros as guard_widen does.
TEST_F(RealArith, GuardedReciprocalRoundsToTheUserPrecisionAndResizeAgrees) {
    Rng rng(909);
    for (int n : {1, 2, 9, 53, 200}) {
        for (int i = 0; i < 8; ++i) {
            num_ctx.real_limbs = n;
            Num b = random_real(rng, n, -10, 10), wide, r, narrow, resized, truncated, widened;
            begin_guard(2);
            guard_widen(wide.p(), b.p());
            real_reciprocal(r.p(), wide.p());
            guard_narrow(narrow.p(), r.p());
            end_guard();
            ASSERT_EQ(num_ctx.error_code, 0u);
            EXPECT_LE(std::fabs(excess(narrow, 1, mantissa(b, n), -scale(b, n)).get_d()), 1.0) << "L=" << n << show(b);
            real_resize(resized.p(), r.p(), n + 1);
            EXPECT_EQ(resized.w, narrow.w) << "L=" << n << show(b);
            num_ctx.no_rounding = 1;
            real_resize(truncated.p(), r.p(), n + 1);
            num_ctx.no_rounding = 0;
            EXPECT_TRUE(std::equal(truncated.w.begin(), truncated.w.begin() + n + 1, r.w.begin())) << show(b);
            num_ctx.real_limbs = n + 1;
            real_resize(widened.p(), b.p(), n);
            EXPECT_EQ(widened.w, wide.w) << "L=" << n << show(b);
        }
    }
    num_ctx.real_limbs = 1;
    Num carry = make(4, false, {kB - 1, 5 * kOne});  // the carry out of limb 0 raises the exponent
    real_resize(carry.p(), carry.p(), 2);
    EXPECT_EQ(carry.w, make(5, false, {kOne, 5 * kOne}).w);
}

}  // namespace
