// Rationals: the storage layout, the exact operations and their "no exact result" cases as tables, randomized
// differential tests of the application rules against GMP (exact results) and an exact half-up rounding oracle
// (real fallbacks), and the rational text reader and writer. Every call is checked for leaving the scratch top,
// the integer width and the precision as it found them.
#include "integer/rational.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "integer/integer_text.h"
#include "numeric/real_arith.h"
#include "numeric/real_special.h"

namespace {

using Rng = std::mt19937_64;
using Words = std::vector<uint64_t>;

constexpr int32_t kWidthSentinel = 7;  // int_limbs outside every call; each call must restore it

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Precision L, clear error, width sentinel; check() verifies that nothing leaked from a call.
struct Context {
    int limbs;
    uint8_t* top;
    explicit Context(int l) : limbs(l) {
        static const bool initialised = (init_numeric_context(), true);
        (void)initialised;
        num_ctx.real_limbs = l;
        num_ctx.int_limbs = kWidthSentinel;
        num_ctx.error_code = 0;
        top = num_ctx.scratch_top;
    }
    ~Context() { num_ctx.error_code = 0; }
    void check(const std::string& where) const {
        ASSERT_TRUE(num_ctx.scratch_top == top && num_ctx.int_limbs == kWidthSentinel && num_ctx.real_limbs == limbs &&
                    num_ctx.guard_limbs == 0 && num_ctx.guard_digit_reduction == 0)
            << "scratch top, width, precision or guard not restored: " << where;
    }
};

// ---- Oracles ---------------------------------------------------------------------------------------------------

mpz_class Z(const uint64_t* w, size_t n) {
    mpz_class v;
    mpz_import(v.get_mpz_t(), n, -1, 8, 0, 0, w);
    return v;
}

Words W(const mpz_class& v, size_t n) {
    Words out(n, 0);
    mpz_export(out.data(), nullptr, -1, 8, 0, 0, v.get_mpz_t());
    return out;
}

size_t bits(const mpz_class& v) {
    return v == 0 ? 0 : mpz_sizeinbase(v.get_mpz_t(), 2);
}

bool fits_part(const mpz_class& v, int limbs) {
    return bits(abs(v)) <= 32u * static_cast<size_t>(limbs);
}

mpz_class pow10(long e) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(e));
    return r;
}

// The stored layout written out directly: header 2^63 + sign; halves of h = L/2 words; the odd word split 32/32.
Words layout(const mpq_class& q, int limbs, bool negative_zero = false) {
    const size_t parts = static_cast<size_t>(limbs + 1) / 2;
    const Words num = W(abs(q.get_num()), parts), den = W(q.get_den(), parts);
    Words out(static_cast<size_t>(limbs) + 1, 0);
    out[0] = (1ull << 63) | ((q < 0 || negative_zero) ? 1u : 0u);
    const int h = limbs / 2;
    for (int i = 0; i < h; ++i) out[1 + i] = num[i], out[1 + h + i] = den[i];
    if (limbs & 1) out[limbs] = num[h] | (den[h] << 32);
    return out;
}

// A correctly rounded RealNum (half up on the exact value) of L limbs. n holds at least 19 L + 2 digits of |v|,
// truncated: a remainder below the rounding unit's half then decides as the exact value would.
Words rounded_real(const mpq_class& v, int limbs) {
    Words out(static_cast<size_t>(limbs) + 1, 0);
    if (v == 0) return out;
    const long digits = 19L * limbs;
    const mpz_class num = abs(v.get_num()), den = v.get_den(), base("10000000000000000000");
    const long s = digits + 2 + static_cast<long>(den.get_str().size()) - static_cast<long>(num.get_str().size());
    const mpz_class n = s >= 0 ? mpz_class(num * pow10(s) / den) : mpz_class(num / (den * pow10(-s)));
    const long length = static_cast<long>(n.get_str().size());
    const mpz_class unit = pow10(length - digits);
    mpz_class m = n / unit + (2 * (n % unit) >= unit ? 1 : 0);
    long e = length - 1 - s;
    if (m == pow10(digits)) m /= 10, ++e;
    for (int i = limbs; i >= 1; --i, m /= base) out[static_cast<size_t>(i)] = mpz_class(m % base).get_ui();
    out[0] = (static_cast<uint64_t>(e) << 1) | (v < 0 ? 1u : 0u);
    return out;
}

// Parts at the width int_limbs in vectors owned by the test.
struct OwnedParts {
    Words num, den;
    RationalParts parts;
    explicit OwnedParts(const mpq_class& q) {
        num = W(abs(q.get_num()), static_cast<size_t>(num_ctx.int_limbs));
        den = W(q.get_den(), static_cast<size_t>(num_ctx.int_limbs));
        parts = RationalParts{q < 0, num.data(), den.data()};
    }
    mpq_class value() const {
        mpq_class q(Z(num.data(), num.size()), Z(den.data(), den.size()));
        q.canonicalize();
        return parts.negative ? mpq_class(-q) : q;
    }
};

// ---- Storage ---------------------------------------------------------------------------------------------------

TEST(RationalStorage, LayoutOfTheParts) {
    const struct {
        int limbs;
        const char* value;
        Words words;
    } rows[] = {
        {1, "-3/4", {(1ull << 63) | 1, (4ull << 32) | 3}},
        {2, "5/7", {1ull << 63, 5, 7}},
        {3, "-1/18446744073709551617", {(1ull << 63) | 1, 1, 1, 1ull << 32}},
        {4, "18446744073709551616/3", {1ull << 63, 0, 1, 3, 0}},
    };
    for (const auto& c : rows) {
        Context ctx(c.limbs);
        RationalWidth scope(rational_width(false));
        OwnedParts in(mpq_class(c.value)), out(mpq_class(0));
        Words x(static_cast<size_t>(c.limbs) + 1, 99);
        ASSERT_TRUE(rational_pack(x.data(), &in.parts)) << c.value;
        EXPECT_EQ(x, c.words) << c.value;
        EXPECT_EQ(x, layout(mpq_class(c.value), c.limbs)) << c.value;
        rational_unpack(&out.parts, x.data());
        EXPECT_EQ(out.value().get_str(), mpq_class(c.value).get_str()) << c.value;
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

// A real is not a rational (17), a part wider than the width does not unpack (12); both give +0/1. A width outside
// 1..2000 raises 1 and keeps the previous one.
TEST(RationalStorage, UnpackAndWidthFailures) {
    Context ctx(4);
    {
        RationalWidth scope(rational_width(false));
        Words real(5, 0);
        real_from_u64(real.data(), 5);
        OwnedParts p(mpq_class(7, 9));
        rational_unpack(&p.parts, real.data());
        EXPECT_EQ(num_ctx.error_code, 17u);
        EXPECT_EQ(p.value().get_str(), "0");
        EXPECT_EQ(p.den[0], 1u);
    }
    num_ctx.error_code = 0;
    {
        RationalWidth scope(1);
        Words x = layout(mpq_class("36893488147419103232/3"), 4);
        OwnedParts p(mpq_class(1));
        rational_unpack(&p.parts, x.data());
        EXPECT_EQ(num_ctx.error_code, 12u);
        EXPECT_EQ(p.value().get_str(), "0");
    }
    for (int width : {2001, 0}) {
        num_ctx.error_code = 0;
        {
            RationalWidth scope(width);
            EXPECT_FALSE(scope.ok);
            EXPECT_EQ(num_ctx.int_limbs, kWidthSentinel);
        }
        EXPECT_EQ(num_ctx.error_code, 1u) << width;
    }
    ctx.check("unpack and width failures");
}

TEST(RationalStorage, FromWords) {
    // clang-format off
    const struct { int limbs; int64_t num, den; const char* exact; uint32_t error; } rows[] = {  // exact "": a real
        {2, 6, 4, "3/2", 0},  {2, 0, 5, "0", 0},  {2, -6, 4, "-3/2", 0},  {2, INT64_MIN, 1, "-9223372036854775808", 0},
        {2, 5, 0, "", 14},    {2, 5, -3, "", 14}, {1, 4294967295, 4294967294, "4294967295/4294967294", 0},
        {1, 4294967296, 3, "", 0},                {1, -7, 4294967297, "", 0},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(c.limbs);
        Words x(static_cast<size_t>(c.limbs) + 1, 1);
        rational_from_words(x.data(), c.num, c.den);
        ctx.check("from_words");
        EXPECT_EQ(num_ctx.error_code, c.error) << c.num << "/" << c.den;
        const Words want = c.error ? Words(x.size(), 0)
                           : *c.exact
                               ? layout(mpq_class(c.exact), c.limbs)
                               : rounded_real(mpq_class(std::to_string(c.num) + "/" + std::to_string(c.den)), c.limbs);
        EXPECT_EQ(x, want) << c.num << "/" << c.den;
        num_ctx.error_code = 0;
    }
}

// Codes 0, 12 and 13 give 0/1, 1/M and M/1 (M = 2^(32L) - 1); the other codes the real special values (1: real
// zero), unknown codes error 14 and real +0.
TEST(RationalStorage, ConstantsAndSpecialValues) {
    for (int limbs : {1, 2, 5}) {
        Context ctx(limbs);
        const size_t n = static_cast<size_t>(limbs) + 1;
        const mpz_class m = (mpz_class(1) << (32 * limbs)) - 1;
        Words x(n, 3);
        rational_constant(x.data(), 0);
        EXPECT_EQ(x, layout(mpq_class(0), limbs));
        rational_constant(x.data(), 12);
        EXPECT_EQ(x, layout(mpq_class(mpz_class(1), m), limbs));
        rational_constant(x.data(), 13);
        EXPECT_EQ(x, layout(mpq_class(m), limbs));
        rational_constant(x.data(), 1);
        EXPECT_EQ(x, Words(n, 0));
        EXPECT_EQ(num_ctx.error_code, 0u);
        for (int bad : {101, 2, -1, 14}) {
            rational_constant(x.data(), bad);
            EXPECT_EQ(num_ctx.error_code, 14u) << bad;
            EXPECT_EQ(x, Words(n, 0));
            num_ctx.error_code = 0;
        }
        ctx.check("constants");
    }
}

mpq_class mpfr_pi(size_t digits) {
    mpfr_t pi;
    mpfr_init2(pi, static_cast<mpfr_prec_t>(4 * digits + 256));
    mpfr_const_pi(pi, MPFR_RNDN);
    mpfr_exp_t exp10 = 0;
    char* s = mpfr_get_str(nullptr, &exp10, 10, digits + 30, pi, MPFR_RNDZ);
    const mpq_class value(mpz_class(s), pow10(static_cast<long>(digits + 30 - 1)));
    mpfr_free_str(s);
    mpfr_clear(pi);
    return value;
}

// Under an active guard pi is formed with one more limb in the same way.
TEST(RealSpecial, PiIsCorrectlyRoundedAtEveryPrecision) {
    for (int limbs : {1, 2, 60, 527}) {
        Context ctx(limbs);
        Words x(static_cast<size_t>(limbs) + 2);
        real_set_special(x.data(), kSpecialPi);
        ctx.check("pi");
        x.resize(static_cast<size_t>(limbs) + 1);
        EXPECT_EQ(x, rounded_real(mpfr_pi(19u * limbs), limbs)) << "L=" << limbs;
        if (limbs == 527) continue;
        begin_guard(2);
        x.resize(static_cast<size_t>(limbs) + 2);
        real_set_special(x.data(), kSpecialPi);
        EXPECT_EQ(num_ctx.real_limbs, limbs + 1);
        EXPECT_EQ(x, rounded_real(mpfr_pi(19u * (limbs + 1)), limbs + 1)) << "guarded L=" << limbs;
        end_guard();
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

// A rational keeps its exact form where its parts fit the new size; otherwise it becomes the real at the old
// precision, rounded half up on the first dropped limb, as a real does.
TEST(RationalStorage, Resize) {
    // clang-format off
    const struct { int from, to; const char* value; bool real, stays_exact; } rows[] = {
        {1, 2, "-3/4", false, true},          {3, 8, "123456789012345678901234567/1000000007", false, true},
        {8, 2, "3/7", false, true},           {4, 1, "-4294967295/17", false, true},
        {4, 1, "4294967296/17", false, false}, {8, 3, "340282366920938463463374607431768211457/3", false, false},
        {2, 1, "2/3", true, false},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(c.to);
        const mpq_class q(c.value);
        Words x = c.real ? rounded_real(q, c.from) : layout(q, c.from);
        x.resize(static_cast<size_t>(std::max(c.from, c.to)) + 1, 0);
        rational_resize(x.data(), x.data(), c.from);
        ctx.check("resize");
        x.resize(static_cast<size_t>(c.to) + 1);
        Words want = c.stays_exact ? layout(q, c.to) : rounded_real(q, c.from);
        if (!c.stays_exact) {
            const bool up = want[static_cast<size_t>(c.to) + 1] >= 5000000000000000000ull;
            want.resize(static_cast<size_t>(c.to) + 1);
            for (int i = c.to; up && i >= 1 && ++want[i] == 10000000000000000000ull; --i) want[i] = 0;
        }
        EXPECT_EQ(x, want) << c.value;
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

// ---- Exact operations ------------------------------------------------------------------------------------------

// Binary operations, then the word operations, then the unary ones.
// clang-format off
enum class Op { Add, Sub, Mul, Div, Pow, Root, MulWord, DivWord, PowInt, Pow10, Reciprocal, Sqrt, Cbrt, Exp2, Exp10,
                Log2, Log10, Factorial, Trunc, Frac };
// clang-format on

bool run_exact(Op op, RationalParts* r, const RationalParts* a, const char* b) {
    const RationalBinaryOp binary[] = {rational_add, rational_sub, rational_mul,
                                       rational_div, rational_pow, rational_root};
    const RationalWordOp word[] = {rational_mul_word, rational_div_word, rational_pow_int};
    const RationalUnaryOp unary[] = {rational_reciprocal, rational_sqrt, rational_cbrt,  rational_exp2,
                                     rational_exp10,      rational_log2, rational_log10, rational_factorial,
                                     rational_trunc,      rational_frac};
    const int i = static_cast<int>(op);
    if (op == Op::Pow10) return rational_pow10(r, std::stoll(b));
    if (op >= Op::Reciprocal) return unary[i - static_cast<int>(Op::Reciprocal)](r, a);
    if (op >= Op::MulWord) return word[i - static_cast<int>(Op::MulWord)](r, a, static_cast<uint64_t>(std::stoll(b)));
    OwnedParts pb{mpq_class(b)};
    return binary[i](r, a, &pb.parts);
}

// At L = 4 (two-word parts of 128 bits); b is the second operand, or the word (signed decimal) of word operations.
// The plain cases of the binary operations are left to the randomized tests below.
TEST(RationalExact, OperationTable) {
    constexpr const char* kNone = nullptr;  // no exact result
    // clang-format off
    const struct { Op op; const char *a, *b, *result; } rows[] = {
        {Op::Add, "1/2", "-1/2", "0"},          {Op::Sub, "-1/3", "-1/3", "0"},         {Op::Mul, "0", "-5/7", "0"},
        {Op::Div, "1", "0", kNone},             {Op::Div, "0", "5", "0"},               {Op::Pow, "2", "1/2", kNone},
        {Op::Pow, "-8", "1/3", kNone},          {Op::Pow, "-2", "3", "-8"},             {Op::Pow, "4", "-1/2", "1/2"},
        {Op::Pow, "0", "-1", kNone},            {Op::Pow, "9/4", "0", "1"},             {Op::Pow, "2", "128", kNone},
        {Op::Pow, "2", "127", "170141183460469231731687303715884105728"}, {Op::Pow, "1", "100000000000000000000", "1"},
        {Op::Root, "-8", "3", "-2"}, {Op::Root, "-16", "4", kNone}, {Op::Root, "16/81", "4/3", "8/27"},
        {Op::Root, "-8", "3/2", kNone},         {Op::Root, "4", "-2", "1/2"},           {Op::Root, "0", "-2", kNone},
        {Op::Root, "5", "0", kNone},            {Op::MulWord, "3/4", "6", "9/2"},       {Op::MulWord, "-3/4", "0", "0"},
        {Op::DivWord, "6/5", "4", "3/10"},      {Op::DivWord, "3/4", "0", kNone},       {Op::PowInt, "0", "-1", kNone},
        {Op::PowInt, "7/3", "0", "1"},          {Op::PowInt, "5", "-9223372036854775808", kNone},
        {Op::PowInt, "2", "128", kNone},        {Op::Pow10, "0", "-3", "1/1000"},       {Op::Pow10, "0", "39", kNone},
        {Op::Pow10, "0", "38", "100000000000000000000000000000000000000"},
        {Op::Pow10, "0", "-9223372036854775808", kNone},
        {Op::Reciprocal, "-3/4", "", "-4/3"},   {Op::Reciprocal, "0", "", kNone},       {Op::Sqrt, "9/4", "", "3/2"},
        {Op::Sqrt, "-4", "", kNone},            {Op::Sqrt, "2", "", kNone},             {Op::Sqrt, "0", "", "0"},
        {Op::Cbrt, "-8/27", "", "-2/3"},        {Op::Cbrt, "9", "", kNone},             {Op::Exp2, "-3", "", "1/8"},
        {Op::Exp2, "1/2", "", kNone},           {Op::Exp2, "128", "", kNone},           {Op::Exp10, "2", "", "100"},
        {Op::Exp10, "-2", "", "1/100"},         {Op::Log2, "8", "", "3"},               {Op::Log2, "1/8", "", "-3"},
        {Op::Log2, "1", "", "0"},               {Op::Log2, "-8", "", kNone},            {Op::Log2, "0", "", kNone},
        {Op::Log2, "6", "", kNone},             {Op::Log2, "3/8", "", kNone},           {Op::Log10, "1/1000", "", "-3"},
        {Op::Log10, "999", "", kNone}, {Op::Factorial, "0", "", "1"}, {Op::Factorial, "5/2", "", kNone},
        {Op::Factorial, "-3", "", kNone},       {Op::Factorial, "35", "", kNone},
        {Op::Factorial, "34", "", "295232799039604140847618609643520000000"},           {Op::Trunc, "-7/2", "", "-3"},
        {Op::Trunc, "1/3", "", "0"},            {Op::Frac, "-7/2", "", "1/2"},          {Op::Frac, "7", "", "0"},
        {Op::Frac, "-22/7", "", "1/7"},
    };
    // clang-format on
    Context ctx(4);
    for (const auto& c : rows) {
        RationalWidth scope(rational_width(false));
        OwnedParts a{mpq_class(c.a)}, r{mpq_class(0)};
        num_ctx.error_code = 0;
        const bool ok = run_exact(c.op, &r.parts, &a.parts, c.b);
        const std::string what = "op " + std::to_string(static_cast<int>(c.op)) + " " + c.a + ", " + c.b;
        EXPECT_EQ(num_ctx.error_code, 0u) << "exact operations raise nothing: " << what;
        EXPECT_EQ(ok, c.result != kNone) << what;
        if (!ok || c.result == kNone) continue;
        EXPECT_EQ(r.value().get_str(), mpq_class(c.result).get_str()) << what;
        EXPECT_TRUE(gcd(Z(r.num.data(), r.num.size()), Z(r.den.data(), r.den.size())) == 1) << "reduced: " << what;
    }
    ctx.check("table");
}

// A pending code stays and an overflow inside is not mistaken for it; the result may be an operand.
TEST(RationalExact, PendingErrorAndResultInPlace) {
    Context ctx(4);
    RationalWidth scope(rational_width(false));
    OwnedParts a{mpq_class(-3, 4)}, b{mpq_class(2, 9)}, big{mpq_class("340282366920938463463374607431768211455")};
    OwnedParts r{mpq_class(0)};
    num_ctx.error_code = 13;
    EXPECT_FALSE(rational_mul(&r.parts, &big.parts, &big.parts));
    EXPECT_EQ(num_ctx.error_code, 13u) << "the overflow inside stays hidden";
    EXPECT_TRUE(rational_reciprocal(&a.parts, &a.parts));
    EXPECT_EQ(a.value().get_str(), "-4/3");
    EXPECT_TRUE(rational_mul(&a.parts, &a.parts, &b.parts));
    EXPECT_EQ(a.value().get_str(), "-8/27");
    EXPECT_TRUE(rational_div(&b.parts, &a.parts, &b.parts));
    EXPECT_EQ(b.value().get_str(), "-4/3");
    EXPECT_TRUE(rational_sub(&b.parts, &b.parts, &b.parts));
    EXPECT_EQ(b.value().get_str(), "0");
    EXPECT_EQ(num_ctx.error_code, 13u);
}

// ---- Application rules -----------------------------------------------------------------------------------------

// The real fallbacks record the call and return their first operand, so a test sees which path was taken and
// what the rational operand was converted to.
int g_real_calls = 0;
template <typename... Rest>
void record(RealNum* dst, const RealNum* a, Rest...) {
    ++g_real_calls;
    real_copy(dst, a);
}

TEST(RationalApply, ExactUnaryRealOperandsAndInPlace) {
    Context ctx(2);
    Words r(3), a = layout(mpq_class(-8), 2);
    g_real_calls = 0;
    rational_apply_unary(r.data(), a.data(), record<>, rational_cbrt);
    EXPECT_EQ(r, layout(mpq_class(-2), 2));
    a = layout(mpq_class(-7, 2), 2);
    rational_apply_unary(r.data(), a.data(), record<>, rational_frac);
    EXPECT_EQ(r, layout(mpq_class(1, 2), 2));
    EXPECT_EQ(g_real_calls, 0);

    rational_apply_unary(r.data(), a.data(), record<>, nullptr);  // no rational operation: the real one
    EXPECT_EQ(g_real_calls, 1);
    EXPECT_EQ(r, rounded_real(mpq_class(-7, 2), 2));
    rational_apply_real_int(r.data(), a.data(), 5, record<int64_t>);
    EXPECT_EQ(g_real_calls, 2);
    EXPECT_EQ(r, rounded_real(mpq_class(-7, 2), 2));

    // A real operand of a binary operation sends both to the real operation.
    Words real_b = rounded_real(mpq_class(1, 4), 2);
    a = layout(mpq_class(1, 3), 2);
    rational_apply_binary(r.data(), a.data(), real_b.data(), record<const RealNum*>, rational_add, true);
    EXPECT_EQ(g_real_calls, 3);
    EXPECT_EQ(r, rounded_real(mpq_class(1, 3), 2));

    a = layout(mpq_class(3, 4), 2);
    rational_apply_with_word(a.data(), a.data(), 6, record<uint64_t>, rational_mul_word);
    EXPECT_EQ(a, layout(mpq_class(9, 2), 2));
    EXPECT_EQ(num_ctx.error_code, 0u);
    ctx.check("apply");
}

TEST(RationalApply, PowerOfTen) {
    // clang-format off
    const struct { int limbs; int64_t k; const char* exact; } rows[] = {  // exact nullptr: the real 10^k
        {2, 3, "1000"}, {2, -19, "1/10000000000000000000"}, {2, 20, nullptr}, {1, 9, "1000000000"},
        {1, 10, nullptr}, {1, -10, nullptr}, {5, INT64_MIN, nullptr},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(c.limbs);
        Words r(static_cast<size_t>(c.limbs) + 1);
        rational_power_of_ten(r.data(), c.k);
        ctx.check("power of ten");
        if (c.exact != nullptr) {
            EXPECT_EQ(r, layout(mpq_class(c.exact), c.limbs)) << c.k;
        } else if (c.k == INT64_MIN) {
            EXPECT_TRUE(real_is_zero(r.data()));
        } else {
            EXPECT_EQ(r, rounded_real(c.k > 0 ? mpq_class(pow10(c.k)) : mpq_class(1, pow10(-c.k)), c.limbs)) << c.k;
        }
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

// ---- Randomized differential tests against GMP ----------------------------------------------------------------

mpz_class random_bits(Rng& rng, size_t max_bits) {
    const size_t n = rng() % 5 == 0 ? max_bits : static_cast<size_t>(rng() % (max_bits + 1));
    if (n == 0) return 0;
    mpz_class v = 0;
    for (size_t i = 0; i < n; i += 64) v = (v << 64) + static_cast<unsigned long>(rng());
    const mpz_class top = mpz_class(1) << n;
    v %= top;
    if (rng() % 3 == 0) v |= top >> 1;  // exactly n bits
    return v;
}

mpq_class random_rational(Rng& rng, int limbs) {
    const size_t max_bits = 32u * static_cast<size_t>(limbs);
    const uint64_t kind = rng() % 6;  // small fractions, integers, zero, fractions of random parts
    mpq_class q = 0;
    if (kind == 0) q = mpq_class(static_cast<long>(rng() % 2000) - 1000, 1 + rng() % 30);
    if (kind == 1) q = mpq_class(random_bits(rng, max_bits));
    if (kind >= 3) {
        const mpz_class n = random_bits(rng, max_bits), d = random_bits(rng, max_bits);
        q = mpq_class(n, d == 0 ? mpz_class(1) : d);
    }
    q.canonicalize();
    if (!fits_part(q.get_num(), limbs) || !fits_part(q.get_den(), limbs)) q = mpq_class(q.get_num() % 1000, 7);
    q.canonicalize();
    return rng() % 2 ? mpq_class(-q) : q;
}

// Raises a random base so that its n-th root is exact with some probability.
mpq_class maybe_power(Rng& rng, const mpq_class& base, unsigned long n, int limbs) {
    if (n <= 1 || rng() % 2) return base;
    mpz_class p, q;
    mpz_pow_ui(p.get_mpz_t(), mpz_class(abs(base.get_num()) % 100000).get_mpz_t(), n);
    mpz_pow_ui(q.get_mpz_t(), mpz_class(base.get_den() % 1000 + 1).get_mpz_t(), n);
    mpq_class r(p, q);
    r.canonicalize();
    if (!fits_part(r.get_num(), limbs) || !fits_part(r.get_den(), limbs)) return base;
    return base < 0 ? mpq_class(-r) : r;
}

// The prediction for one application: `fallback` when the rational operation fails (the real operation then runs
// on the first operand), else the exact value, stored exactly or as the rounded real. A zero result keeps a sign:
// a's for sums, the product of the signs for products.
struct Expectation {
    bool fallback;
    mpq_class value;
    bool negative_zero = false;
};

bool fits_width(const mpz_class& p, const mpz_class& q, int limbs) {
    const size_t w = 64u * static_cast<size_t>((limbs + 1) / 2);
    return bits(abs(p)) <= w && bits(q) <= w;
}

Expectation expect_add(const mpq_class& a, const mpq_class& b, int limbs) {
    // Cross products at width L; an equal-sign sum that leaves the width is the only overflow.
    if (a.get_den() != b.get_den() && (a < 0) == (b < 0) && a != 0 && b != 0) {
        const mpz_class sum = abs(a.get_num()) * b.get_den() + abs(b.get_num()) * a.get_den();
        if (bits(sum) > 64u * static_cast<size_t>(limbs)) return {true, 0};
    }
    const mpq_class v = a + b;
    return {false, v, v == 0 && a < 0};
}

Expectation expect_mul_div(const mpq_class& a, const mpq_class& b, bool divide, int limbs) {
    if (divide && b == 0) return {true, 0};
    const mpq_class v = divide ? mpq_class(a / b) : mpq_class(a * b);
    return {!fits_width(v.get_num(), v.get_den(), limbs), v, v == 0 && ((a < 0) != (b < 0))};
}

// a^e (root = false) or a^(1/e) (root = true) by the documented rules.
Expectation expect_pow_root(const mpq_class& a, const mpq_class& e, bool root, int limbs) {
    const mpz_class m = abs(e.get_num()), n = e.get_den();
    const mpz_class degree = root ? m : n, power = root ? n : m;
    if (root && m == 0) return {true, 0};
    if (a < 0 && (n != 1 || (root && m % 2 == 0))) return {true, 0};
    mpz_class p = abs(a.get_num()), q = a.get_den();
    const auto exact_root = [&degree](mpz_class& x) {
        return degree == 1 || mpz_root(x.get_mpz_t(), x.get_mpz_t(), degree.get_ui()) != 0;
    };
    if (!exact_root(p) || !exact_root(q)) return {true, 0};
    mpz_pow_ui(p.get_mpz_t(), p.get_mpz_t(), power.get_ui());
    mpz_pow_ui(q.get_mpz_t(), q.get_mpz_t(), power.get_ui());
    if (!fits_width(p, q, limbs) || (e < 0 && p == 0)) return {true, 0};
    if (e < 0) std::swap(p, q);
    mpq_class v(p, q);
    v.canonicalize();
    const bool odd = root ? (m % 2 != 0) : (n == 1 && m % 2 != 0);
    return {false, a < 0 && odd ? mpq_class(-v) : v};
}

// Checks one application against the prediction; also that it raised nothing and restored the context.
void check_expectation(const Context& ctx, const Words& got, const Expectation& e, const mpq_class& first,
                       const std::string& what) {
    ctx.check(what);
    ASSERT_EQ(num_ctx.error_code, 0u) << what;
    if (e.fallback) {
        ASSERT_EQ(g_real_calls, 1) << "expected the real fallback: " << what;
        ASSERT_EQ(got, rounded_real(first, ctx.limbs)) << what;
        return;
    }
    ASSERT_EQ(g_real_calls, 0) << "expected an exact result: " << what;
    const bool fits = fits_part(e.value.get_num(), ctx.limbs) && fits_part(e.value.get_den(), ctx.limbs);
    ASSERT_EQ(got, fits ? layout(e.value, ctx.limbs, e.negative_zero) : rounded_real(e.value, ctx.limbs))
        << what << " = " << e.value.get_str();
}

// Sums, products and quotients, integer powers, and rational powers and roots of bases that are often perfect
// powers; comparisons among rationals, against reals (the converted reals compare; rounding keeps the order) and
// against words; conversions to real, to words and the negation. At L = 527 full-size parts must fit the scratch
// stack.
TEST(RationalRandom, OperationsAndQueriesMatchGmp) {
    for (int limbs : {1, 2, 3, 8, 33, 527}) {
        Rng rng(1000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        for (int it = 0; it < (limbs <= 3 ? 600 : (limbs <= 8 ? 300 : (limbs <= 33 ? 80 : 8))); ++it) {
            const mpq_class a = random_rational(rng, limbs), b = rng() % 8 == 0 ? a : random_rational(rng, limbs);
            const Words wa = layout(a, limbs), wb = layout(b, limbs);
            const std::string in = " L=" + std::to_string(limbs) + " a=" + a.get_str() + " b=" + b.get_str();
            Words r(static_cast<size_t>(limbs) + 1);
            const struct {
                const char* name;
                RationalBinaryOp op;
                bool wide;
                Expectation expected;
            } ops[] = {
                {"add", rational_add, true, expect_add(a, b, limbs)},
                {"sub", rational_sub, true, expect_add(a, mpq_class(-b), limbs)},
                {"mul", rational_mul, false, expect_mul_div(a, b, false, limbs)},
                {"div", rational_div, false, expect_mul_div(a, b, true, limbs)},
            };
            for (const auto& o : ops) {
                g_real_calls = 0;
                rational_apply_binary(r.data(), wa.data(), wb.data(), record<const RealNum*>, o.op, o.wide);
                check_expectation(ctx, r, o.expected, a, o.name + in);
            }

            int64_t k = static_cast<int64_t>(rng() % 13) - 6;
            if (it % 50 == 0) k = INT64_MIN;
            if (it % 50 == 1) k = static_cast<int64_t>(rng() % 200);
            g_real_calls = 0;
            rational_apply_with_word(r.data(), wa.data(), static_cast<uint64_t>(k), record<uint64_t>, rational_pow_int);
            check_expectation(ctx, r, k == INT64_MIN ? Expectation{true, 0} : expect_pow_root(a, k, false, limbs), a,
                              "pow_int k=" + std::to_string(k) + in);

            mpq_class e(static_cast<long>(rng() % 13) - 6, 1 + rng() % 4);
            e.canonicalize();
            for (bool root : {false, true}) {
                const unsigned long degree = (root ? abs(e.get_num()) : e.get_den()).get_ui();
                const mpq_class base = maybe_power(rng, a, degree, limbs);
                const Words wbase = layout(base, limbs), we = layout(e, limbs);
                g_real_calls = 0;
                rational_apply_binary(r.data(), wbase.data(), we.data(), record<const RealNum*>,
                                      root ? rational_root : rational_pow, false);
                check_expectation(ctx, r, expect_pow_root(base, e, root, limbs), base,
                                  std::string(root ? "root " : "pow ") + base.get_str() + " e=" + e.get_str() + in);
            }

            const Words ra = rounded_real(a, limbs), rb = rounded_real(b, limbs);
            ASSERT_EQ(rational_compare(wa.data(), wb.data()), sgn(a - b)) << in;
            ASSERT_EQ(rational_compare(wa.data(), rb.data()), ra == rb ? 0 : sgn(a - b)) << in;
            const mpz_class t = a.get_num() / a.get_den();
            int64_t w = rng() % 4 == 0 ? static_cast<int64_t>(rng()) : static_cast<int64_t>(rng() % 2001) - 1000;
            if (rng() % 2) w = t.fits_slong_p() ? t.get_si() + static_cast<int64_t>(rng() % 3) - 1 : 0;
            ASSERT_EQ(rational_compare_word(wa.data(), w), sgn(a - mpq_class(mpz_class(std::to_string(w)))))
                << in << " w=" << w;
            ASSERT_EQ(rational_is_zero(wa.data()), a == 0) << in;

            rational_to_real(r.data(), wa.data());
            ASSERT_EQ(r, ra) << in;
            {
                // Parts of the full width L (wider than storage) still round correctly.
                RationalWidth scope(rational_width(true));
                const mpz_class num = random_bits(rng, 64u * limbs), den = random_bits(rng, 64u * limbs) + 1;
                OwnedParts p{mpq_class(num, den)};
                rational_parts_to_real(r.data(), &p.parts);
                ASSERT_EQ(r, rounded_real(p.value(), limbs)) << "parts " << p.value().get_str();
            }
            uint64_t word = 1;
            const mpz_class mag = abs(t);
            const uint64_t small = mag.fits_ulong_p() ? mag.get_ui() : 0;  // the word, or 0 when it fails
            ASSERT_EQ(rational_to_word(&word, wa.data(), false), a.get_den() == 1 && mag.fits_ulong_p()) << in;
            ASSERT_EQ(word, a.get_den() == 1 ? small : 0) << in;
            ASSERT_EQ(rational_to_word(&word, wa.data(), true), mag.fits_ulong_p()) << in;
            ASSERT_EQ(word, small) << in;
            rational_negate(r.data(), wa.data());
            ASSERT_EQ(r, layout(-a, limbs, a == 0)) << in;
            ctx.check("queries" + in);
            ASSERT_EQ(num_ctx.error_code, 0u);
        }
    }
}

// ---- Text ------------------------------------------------------------------------------------------------------

TEST(RationalText, ReadsLiterals) {
    // clang-format off
    // exact: the rational expected; real: the real expected (its exact decimal value); neither: real +0.
    const struct { int limbs; const char *text, *exact, *real; uint32_t pending, error; } rows[] = {
        {2, "6/4", "3/2", nullptr, 0, 0},               {2, "-0/5", "-0/1", nullptr, 0, 0},
        {2, "1/0", nullptr, nullptr, 0, 14},            {2, "1/+2", nullptr, nullptr, 0, 21},
        {2, "+-1", nullptr, nullptr, 0, 21},            {2, "-", nullptr, nullptr, 0, 21},
        {2, "", nullptr, nullptr, 0, 21},               {2, "   ", nullptr, nullptr, 0, 21},
        {2, "1.5/2", nullptr, nullptr, 0, 21},          {2, "1.5", nullptr, "3/2", 0, 0},
        {2, "-2e3", nullptr, "-2000", 0, 0},            {2, " 1'234/2 ", "617", nullptr, 0, 0},
        {2, "+7", "7", nullptr, 0, 0},                  {2, "12a", nullptr, nullptr, 0, 21},
        {2, "3/-4", nullptr, nullptr, 0, 21},           {2, "1/2/3", nullptr, nullptr, 0, 21},
        {2, "/2", nullptr, nullptr, 0, 21},             {1, "4294967296/3", nullptr, nullptr, 0, 14},
        {1, "-4294967295/4294967294", "-4294967295/4294967294", nullptr, 0, 0},
        {1, "12345678901", nullptr, "12345678901", 0, 0},
        {1, "-18446744073709551616", nullptr, "-18446744073709551616", 0, 0},
        {2, "123456789012345678901234567890", nullptr, "123456789012345678901234567890", 0, 0},
        {2, "1/0", nullptr, nullptr, 13, 13},           {2, "2/4", "1/2", nullptr, 13, 13},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(c.limbs);
        const size_t n = static_cast<size_t>(c.limbs) + 1;
        Words x(n, 77);
        num_ctx.error_code = c.pending;
        rational_from_text(x.data(), u16(c.text).c_str(), -1);
        ctx.check(c.text);
        EXPECT_EQ(num_ctx.error_code, c.error) << '"' << c.text << '"';
        const bool negative_zero = c.exact != nullptr && c.exact[0] == '-' && mpq_class(c.exact) == 0;
        const Words want = c.exact  ? layout(mpq_class(c.exact), c.limbs, negative_zero)
                           : c.real ? rounded_real(mpq_class(c.real), c.limbs)
                                    : Words(n, 0);
        EXPECT_EQ(x, want) << c.text;
        if (!negative_zero) continue;
        const Words zero = layout(mpq_class(0), c.limbs);
        EXPECT_EQ(rational_compare(x.data(), zero.data()), 0) << "both signs of zero are equal";
        EXPECT_EQ(rational_compare_word(x.data(), 0), 0);
    }
}

// form: 'q' exact, 'z' negative zero, 'r' the real value (written by the real writer). Nothing is written at or
// past the capacity.
TEST(RationalText, WritesFractions) {
    // clang-format off
    const struct { const char* value; char form; uint32_t flags; int capacity; uint32_t pending; const char* text;
                   uint32_t error; } rows[] = {
        {"-3/2", 'q', 0, 50, 0, "-3/2", 0}, {"5", 'q', 0, 50, 0, "5", 0}, {"5", 'q', kIntFmtAlwaysSign, 50, 0, "+5", 0},
        {"0", 'z', 0, 50, 0, "0", 0},          {"0", 'z', kIntFmtAlwaysSign, 50, 0, "-0", 0},
        {"1234567/1000", 'q', kIntFmtGroupDigits, 50, 0, "1'234'567/1'000", 0},  {"3/2", 'q', 0, 50, 13, "!3/2", 13},
        {"-3/2", 'q', 0, 4, 0, "-3/2", 0},     {"-3/2", 'q', 0, 3, 0, "[!]", 20},  {"-3/2", 'q', 0, 2, 0, "", 20},
        {"12345", 'q', 0, 2, 0, "", 20},       {"12", 'q', 0, 2, 0, "12", 0},      {"3/2", 'q', 0, 3, 13, "[!]", 13},
        {"3/2", 'r', 0, 50, 0, "1.5", 0},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(4);
        const Words x =
            c.form == 'r' ? rounded_real(mpq_class(c.value), 4) : layout(mpq_class(c.value), 4, c.form == 'z');
        num_ctx.error_code = c.pending;
        std::u16string buffer(static_cast<size_t>(c.capacity) + 4, u'#');
        const int n = rational_to_text(buffer.data(), c.capacity, x.data(), c.flags);
        ctx.check(c.value);
        EXPECT_EQ(buffer.substr(0, n), u16(c.text)) << c.value << " cap " << c.capacity;
        EXPECT_EQ(buffer.substr(c.capacity), u"####") << c.value << " cap " << c.capacity;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.value;
    }
}

TEST(RationalText, RoundTripsMatchGmp) {
    for (int limbs : {1, 3, 8, 33}) {
        Rng rng(5000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        for (int it = 0; it < 200; ++it) {
            const mpq_class a = random_rational(rng, limbs);
            const Words wa = layout(a, limbs);
            std::u16string buffer(800, u'\0');
            const int n = rational_to_text(buffer.data(), 800, wa.data(), 0);
            ASSERT_EQ(buffer.substr(0, n), u16(a.get_str()));
            Words back(static_cast<size_t>(limbs) + 1);
            rational_from_text(back.data(), buffer.data(), n);
            ASSERT_EQ(back, wa) << a.get_str();
            ctx.check("round trip");
            ASSERT_EQ(num_ctx.error_code, 0u);
        }
    }
}

}  // namespace
