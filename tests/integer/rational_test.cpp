// Rationals: the storage layout, the exact operations and their "no exact result" cases as tables, randomized
// differential tests of the application rules against GMP (exact results) and an exact half-up rounding oracle
// (real fallbacks), and the rational text reader and writer. Every call is checked for leaving the scratch top,
// the integer width and the precision as it found them.
#include "integer/rational.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "integer/integer_text.h"
#include "numeric/real_arith.h"
#include "numeric/real_special.h"
#include "numeric/real_text.h"

namespace {

using Words = std::vector<uint64_t>;

constexpr int32_t kWidthSentinel = 7;  // int_limbs outside every call; each call must restore it

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::string narrow(const char16_t* s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>(s[i]));
    return out;
}

// Precision L, clear error, width sentinel; check() verifies that nothing leaked from a call.
struct Context {
    int limbs;
    uint8_t* top;
    explicit Context(int l) : limbs(l) {
        static bool initialised = false;
        if (!initialised) init_numeric_context();
        initialised = true;
        num_ctx.real_limbs = l;
        num_ctx.int_limbs = kWidthSentinel;
        num_ctx.error_code = 0;
        top = num_ctx.scratch_top;
    }
    ~Context() { num_ctx.error_code = 0; }
    void check(const std::string& where) const {
        ASSERT_EQ(num_ctx.scratch_top, top) << "scratch top not restored: " << where;
        ASSERT_EQ(num_ctx.int_limbs, kWidthSentinel) << "int_limbs not restored: " << where;
        ASSERT_EQ(num_ctx.real_limbs, limbs) << "real_limbs not restored: " << where;
        ASSERT_EQ(num_ctx.guard_limbs, 0u) << where;
        ASSERT_EQ(num_ctx.guard_digit_reduction, 0u) << where;
    }
};

// ---- Oracles ---------------------------------------------------------------------------------------------------

mpz_class words_to_mpz(const uint64_t* w, size_t n) {
    mpz_class v;
    mpz_import(v.get_mpz_t(), n, -1, 8, 0, 0, w);
    return v;
}

Words mpz_to_words(const mpz_class& v, size_t n) {
    Words out(n, 0);
    if (v != 0) mpz_export(out.data(), nullptr, -1, 8, 0, 0, v.get_mpz_t());
    return out;
}

size_t bits(const mpz_class& v) {
    return v == 0 ? 0 : mpz_sizeinbase(v.get_mpz_t(), 2);
}

bool fits_part(const mpz_class& v, int limbs) {
    return bits(abs(v)) <= 32u * static_cast<size_t>(limbs);
}

// The stored layout written out directly: header 2^63 + sign; halves of h = L/2 words; the odd word split 32/32.
Words layout(const mpq_class& q, int limbs, bool negative_zero = false) {
    const size_t parts = static_cast<size_t>(limbs + 1) / 2;
    const Words num = mpz_to_words(abs(q.get_num()), parts);
    const Words den = mpz_to_words(q.get_den(), parts);
    Words out(static_cast<size_t>(limbs) + 1, 0);
    out[0] = (1ull << 63) | ((q < 0 || negative_zero) ? 1u : 0u);
    const int h = limbs / 2;
    for (int i = 0; i < h; ++i) {
        out[1 + i] = num[i];
        out[1 + h + i] = den[i];
    }
    if (limbs & 1) out[limbs] = num[h] | (den[h] << 32);
    return out;
}

mpq_class read_layout(const Words& w, int limbs) {
    const int h = limbs / 2;
    Words num(static_cast<size_t>(h) + 1, 0), den(static_cast<size_t>(h) + 1, 0);
    for (int i = 0; i < h; ++i) {
        num[i] = w[1 + i];
        den[i] = w[1 + h + i];
    }
    if (limbs & 1) {
        num[h] = w[limbs] & 0xFFFFFFFFull;
        den[h] = w[limbs] >> 32;
    }
    mpq_class q(words_to_mpz(num.data(), num.size()), words_to_mpz(den.data(), den.size()));
    if (w[0] & 1) q = -q;
    return q;
}

mpz_class pow10(long e) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(e));
    return r;
}

// A correctly rounded RealNum (half up on the exact value) of L limbs.
Words rounded_real(const mpq_class& v, int limbs) {
    Words out(static_cast<size_t>(limbs) + 1, 0);
    if (v == 0) return out;
    const long digits = 19L * limbs;
    const mpz_class num = abs(v.get_num());
    const mpz_class den = v.get_den();
    long e =
        static_cast<long>(mpz_sizeinbase(num.get_mpz_t(), 10)) - static_cast<long>(mpz_sizeinbase(den.get_mpz_t(), 10));
    mpz_class n, rem;
    for (;;) {
        const long s = digits - 1 - e;
        mpz_class a = num, b = den;
        if (s >= 0)
            a *= pow10(s);
        else
            b *= pow10(-s);
        mpz_fdiv_qr(n.get_mpz_t(), rem.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
        if (n >= pow10(digits)) {
            ++e;
        } else if (n < pow10(digits - 1)) {
            --e;
        } else {
            if (2 * rem >= b) ++n;
            break;
        }
    }
    if (n == pow10(digits)) {
        n = pow10(digits - 1);
        ++e;
    }
    for (int i = limbs - 1; i >= 0; --i) {
        mpz_class limb;
        mpz_fdiv_qr_ui(n.get_mpz_t(), limb.get_mpz_t(), n.get_mpz_t(), 10000000000000000000ul);
        out[static_cast<size_t>(i) + 1] = limb.get_ui();
    }
    out[0] = (static_cast<uint64_t>(e) << 1) | (v < 0 ? 1u : 0u);
    return out;
}

// The exact value of a RealNum.
mpq_class real_value(const Words& x, int limbs) {
    mpz_class m = 0;
    for (int i = 0; i < limbs; ++i)
        m = m * mpz_class("10000000000000000000") + mpz_class(static_cast<unsigned long>(x[i + 1]));
    const long e = static_cast<long>(static_cast<int64_t>(x[0]) >> 1) - (19L * limbs - 1);
    mpq_class q = e >= 0 ? mpq_class(m * pow10(e)) : mpq_class(m, pow10(-e));
    q.canonicalize();
    return (x[0] & 1) ? mpq_class(-q) : q;
}

std::string describe(const Words& x, int limbs) {
    std::string s = (x[0] & 1) ? "-" : "+";
    if ((x[0] & ~1ull) == (1ull << 63)) return s.append(" rational ").append(read_layout(x, limbs).get_str());
    s.append(" real E=").append(std::to_string(static_cast<int64_t>(x[0]) >> 1));
    for (int i = 1; i <= limbs; ++i) s.append(" ").append(std::to_string(x[i]));
    return s;
}

// Parts at the width int_limbs in vectors owned by the test.
struct OwnedParts {
    Words num, den;
    RationalParts parts;
    explicit OwnedParts(const mpq_class& q) {
        const size_t w = static_cast<size_t>(num_ctx.int_limbs);
        num = mpz_to_words(abs(q.get_num()), w);
        den = mpz_to_words(q.get_den(), w);
        parts = RationalParts{q < 0, num.data(), den.data()};
    }
    mpq_class value() const {
        mpq_class q(words_to_mpz(num.data(), num.size()), words_to_mpz(den.data(), den.size()));
        return parts.negative ? mpq_class(-q) : q;
    }
};

// ---- Storage ---------------------------------------------------------------------------------------------------

TEST(RationalStorage, LayoutOfTheParts) {
    struct Case {
        int limbs;
        const char* value;
        Words words;
    };
    const Case cases[] = {
        {1, "3/4", {1ull << 63, (4ull << 32) | 3}},
        {1, "-3/4", {(1ull << 63) | 1, (4ull << 32) | 3}},
        {2, "5/7", {1ull << 63, 5, 7}},
        {3, "-1/18446744073709551617", {(1ull << 63) | 1, 1, 1, 1ull << 32}},
        {4, "18446744073709551616/3", {1ull << 63, 0, 1, 3, 0}},
    };
    for (const auto& c : cases) {
        Context ctx(c.limbs);
        RationalWidth scope(rational_width(false));
        const mpq_class q(c.value);
        OwnedParts in(q);
        Words x(static_cast<size_t>(c.limbs) + 1, 99);
        ASSERT_TRUE(rational_pack(x.data(), &in.parts)) << c.value;
        EXPECT_EQ(x, c.words) << c.value;
        EXPECT_EQ(x, layout(q, c.limbs)) << c.value;
        OwnedParts out(mpq_class(0));
        rational_unpack(&out.parts, x.data());
        EXPECT_EQ(out.value().get_str(), q.get_str()) << c.value;
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

TEST(RationalStorage, UnpackFailures) {
    Context ctx(4);
    {
        // A real is not a rational: 17 and +0/1.
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
        // A width of one word cannot take a two-word part: 12.
        RationalWidth scope(1);
        Words x = layout(mpq_class("36893488147419103232/3"), 4);
        OwnedParts p(mpq_class(1));
        rational_unpack(&p.parts, x.data());
        EXPECT_EQ(num_ctx.error_code, 12u);
        EXPECT_EQ(p.value().get_str(), "0");
    }
    ctx.check("unpack failures");
}

TEST(RationalStorage, WidthOutOfRangeRaisesOneAndKeepsTheWidth) {
    Context ctx(2);
    {
        RationalWidth scope(2001);
        EXPECT_FALSE(scope.ok);
        EXPECT_EQ(num_ctx.int_limbs, kWidthSentinel);
    }
    EXPECT_EQ(num_ctx.error_code, 1u);
    num_ctx.error_code = 0;
    {
        RationalWidth scope(0);
        EXPECT_FALSE(scope.ok);
    }
    EXPECT_EQ(num_ctx.error_code, 1u);
    ctx.check("width");
}

TEST(RationalStorage, FromWords) {
    struct Case {
        int limbs;
        int64_t num, den;
        const char* exact;  // "" for a real result
        uint32_t error;
    };
    const Case cases[] = {
        {2, 6, 4, "3/2", 0},
        {2, 0, 5, "0", 0},
        {2, -6, 4, "-3/2", 0},
        {2, INT64_MIN, 1, "-9223372036854775808", 0},
        {2, 5, 0, "", 14},
        {2, 5, -3, "", 14},
        {1, 4294967295, 4294967294, "4294967295/4294967294", 0},
        {1, 4294967296, 3, "", 0},
        {1, -7, 4294967297, "", 0},
    };
    for (const auto& c : cases) {
        Context ctx(c.limbs);
        Words x(static_cast<size_t>(c.limbs) + 1, 1);
        rational_from_words(x.data(), c.num, c.den);
        ctx.check("from_words");
        EXPECT_EQ(num_ctx.error_code, c.error) << c.num << "/" << c.den;
        if (c.error != 0) {
            EXPECT_EQ(x, Words(static_cast<size_t>(c.limbs) + 1, 0)) << "error gives real +0";
        } else if (*c.exact) {
            EXPECT_EQ(x, layout(mpq_class(c.exact), c.limbs)) << c.num << "/" << c.den;
        } else {
            EXPECT_EQ(
                x, rounded_real(mpq_class(mpz_class(std::to_string(c.num)), mpz_class(std::to_string(c.den))), c.limbs))
                << describe(x, c.limbs);
        }
        num_ctx.error_code = 0;
    }
}

TEST(RationalStorage, ConstantsAndSpecialValues) {
    for (int limbs : {1, 2, 5}) {
        Context ctx(limbs);
        const size_t n = static_cast<size_t>(limbs) + 1;
        mpz_class m = 1;
        m <<= 32 * limbs;
        m -= 1;
        Words x(n, 3);
        rational_constant(x.data(), 0);
        EXPECT_EQ(x, layout(mpq_class(0), limbs));
        rational_constant(x.data(), 12);
        EXPECT_EQ(x, layout(mpq_class(mpz_class(1), m), limbs));
        rational_constant(x.data(), 13);
        EXPECT_EQ(x, layout(mpq_class(m), limbs));
        rational_constant(x.data(), 1);
        EXPECT_EQ(x, Words(n, 0));
        rational_constant(x.data(), 10);
        EXPECT_EQ(x[0], static_cast<uint64_t>(-((int64_t{1} << 62) - 1)) << 1);
        EXPECT_EQ(x[1], 1000000000000000000ull);
        rational_constant(x.data(), 11);
        EXPECT_EQ(static_cast<int64_t>(x[0]) >> 1, (int64_t{1} << 62) - 1);
        for (size_t i = 1; i < n; ++i) EXPECT_EQ(x[i], 9999999999999999999ull);
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
    mpq_class value(mpz_class(std::string(s)), pow10(static_cast<long>(digits + 30 - 1)));
    mpfr_free_str(s);
    mpfr_clear(pi);
    return value;
}

TEST(RealSpecial, PiIsCorrectlyRoundedAtEveryPrecision) {
    for (int limbs : {1, 2, 5, 60, 527}) {
        Context ctx(limbs);
        Words x(static_cast<size_t>(limbs) + 2);
        real_set_special(x.data(), kSpecialPi);
        ctx.check("pi");
        x.resize(static_cast<size_t>(limbs) + 1);
        EXPECT_EQ(x, rounded_real(mpfr_pi(19u * limbs), limbs)) << "L=" << limbs;

        // Under an active guard pi is formed with one more limb in the same way.
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

TEST(RealSpecial, ExtremesFormatAsDocumented) {
    Context ctx(1);
    Words x(2);
    real_set_special(x.data(), kSpecialLargest);
    char16_t buffer[64];
    const int n = real_format(buffer, 64, x.data(), 0, 19);
    EXPECT_EQ(narrow(buffer, n), "9.999999999999999999e+4611686018427387903");
}

TEST(RationalStorage, ResizeKeepsExactValuesWhereTheyFit) {
    struct Case {
        int from, to;
        const char* value;
        bool stays_exact;
    };
    const Case cases[] = {
        {1, 2, "-3/4", true},
        {3, 8, "123456789012345678901234567/1000000007", true},
        {8, 2, "3/7", true},
        {4, 1, "-4294967295/17", true},
        {4, 1, "4294967296/17", false},
        {8, 3, "340282366920938463463374607431768211457/3", false},
    };
    for (const auto& c : cases) {
        Context ctx(c.to);
        const mpq_class q(c.value);
        Words x = layout(q, c.from);
        x.resize(static_cast<size_t>(std::max(c.from, c.to)) + 1, 0);
        rational_resize(x.data(), x.data(), c.from);
        ctx.check("resize");
        x.resize(static_cast<size_t>(c.to) + 1);
        if (c.stays_exact) {
            EXPECT_EQ(x, layout(q, c.to)) << c.value;
        } else {
            // The real at the old precision, then rounded half up on the first dropped limb.
            Words expected = rounded_real(q, c.from);
            const bool up = expected[static_cast<size_t>(c.to) + 1] >= 5000000000000000000ull;
            expected.resize(static_cast<size_t>(c.to) + 1);
            if (up) {
                int i = c.to;
                while (i >= 1 && ++expected[i] == 10000000000000000000ull) expected[i--] = 0;
            }
            EXPECT_EQ(x, expected) << c.value << " got " << describe(x, c.to);
        }
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

TEST(RationalStorage, ResizeOfARealRoundsOnTheDroppedLimb) {
    Context ctx(1);
    Words x = rounded_real(mpq_class(2, 3), 2);
    rational_resize(x.data(), x.data(), 2);
    x.resize(2);
    EXPECT_EQ(x, rounded_real(mpq_class(2, 3), 1));
}

// ---- Exact operations ------------------------------------------------------------------------------------------

// clang-format off
enum class Op { Add, Sub, Mul, Div, Pow, Root, MulWord, DivWord, PowInt, Pow10, Reciprocal, Sqrt, Cbrt, Exp2, Exp10,
                Log2, Log10, Factorial, Trunc, Frac };
// clang-format on

struct ExactCase {
    Op op;
    const char* a;
    const char* b;       // second operand, or the word (signed decimal) for word operations
    const char* result;  // nullptr: no exact result
};

constexpr const char* kNone = nullptr;

// At L = 4 (two-word parts of 128 bits).
const ExactCase kExactCases[] = {
    {Op::Add, "1/3", "1/6", "1/2"},
    {Op::Add, "1/2", "-1/2", "0"},
    {Op::Add, "-5/6", "1/3", "-1/2"},
    {Op::Add, "0", "-3", "-3"},
    {Op::Sub, "1/3", "1/2", "-1/6"},
    {Op::Sub, "-1/3", "-1/3", "0"},
    {Op::Mul, "2/3", "9/4", "3/2"},
    {Op::Mul, "0", "-5/7", "0"},
    {Op::Mul, "-2/3", "-3/2", "1"},
    {Op::Div, "2/3", "4/9", "3/2"},
    {Op::Div, "1", "0", kNone},
    {Op::Div, "0", "5", "0"},
    {Op::Div, "-3/4", "3/8", "-2"},
    {Op::Pow, "4/9", "3/2", "8/27"},
    {Op::Pow, "2", "1/2", kNone},
    {Op::Pow, "-8", "1/3", kNone},
    {Op::Pow, "-2", "3", "-8"},
    {Op::Pow, "-2", "2", "4"},
    {Op::Pow, "4", "-1/2", "1/2"},
    {Op::Pow, "0", "-1", kNone},
    {Op::Pow, "9/4", "0", "1"},
    {Op::Pow, "2", "128", kNone},
    {Op::Pow, "2", "127", "170141183460469231731687303715884105728"},
    {Op::Pow, "1", "100000000000000000000", "1"},
    {Op::Root, "8", "3", "2"},
    {Op::Root, "-8", "3", "-2"},
    {Op::Root, "-16", "4", kNone},
    {Op::Root, "16/81", "4/3", "8/27"},
    {Op::Root, "-8", "3/2", kNone},
    {Op::Root, "4", "-2", "1/2"},
    {Op::Root, "0", "-2", kNone},
    {Op::Root, "5", "0", kNone},
    {Op::Root, "2", "2", kNone},
    {Op::MulWord, "3/4", "6", "9/2"},
    {Op::MulWord, "-3/4", "0", "0"},
    {Op::DivWord, "3/4", "6", "1/8"},
    {Op::DivWord, "6/5", "4", "3/10"},
    {Op::DivWord, "3/4", "0", kNone},
    {Op::PowInt, "-2/3", "3", "-8/27"},
    {Op::PowInt, "-2/3", "-2", "9/4"},
    {Op::PowInt, "0", "-1", kNone},
    {Op::PowInt, "7/3", "0", "1"},
    {Op::PowInt, "5", "-9223372036854775808", kNone},
    {Op::PowInt, "2", "128", kNone},
    {Op::Pow10, "0", "3", "1000"},
    {Op::Pow10, "0", "-3", "1/1000"},
    {Op::Pow10, "0", "38", "100000000000000000000000000000000000000"},
    {Op::Pow10, "0", "39", kNone},
    {Op::Pow10, "0", "-9223372036854775808", kNone},
    {Op::Reciprocal, "-3/4", "", "-4/3"},
    {Op::Reciprocal, "0", "", kNone},
    {Op::Sqrt, "9/4", "", "3/2"},
    {Op::Sqrt, "-4", "", kNone},
    {Op::Sqrt, "2", "", kNone},
    {Op::Sqrt, "0", "", "0"},
    {Op::Cbrt, "-8/27", "", "-2/3"},
    {Op::Cbrt, "9", "", kNone},
    {Op::Exp2, "3", "", "8"},
    {Op::Exp2, "-3", "", "1/8"},
    {Op::Exp2, "1/2", "", kNone},
    {Op::Exp2, "128", "", kNone},
    {Op::Exp10, "2", "", "100"},
    {Op::Exp10, "-2", "", "1/100"},
    {Op::Log2, "8", "", "3"},
    {Op::Log2, "1/8", "", "-3"},
    {Op::Log2, "1", "", "0"},
    {Op::Log2, "-8", "", kNone},
    {Op::Log2, "0", "", kNone},
    {Op::Log2, "6", "", kNone},
    {Op::Log2, "3/8", "", kNone},
    {Op::Log10, "1000", "", "3"},
    {Op::Log10, "1/1000", "", "-3"},
    {Op::Log10, "999", "", kNone},
    {Op::Factorial, "5", "", "120"},
    {Op::Factorial, "0", "", "1"},
    {Op::Factorial, "5/2", "", kNone},
    {Op::Factorial, "-3", "", kNone},
    {Op::Factorial, "35", "", kNone},
    {Op::Factorial, "34", "", "295232799039604140847618609643520000000"},
    {Op::Trunc, "-7/2", "", "-3"},
    {Op::Trunc, "1/3", "", "0"},
    {Op::Trunc, "7", "", "7"},
    {Op::Frac, "-7/2", "", "1/2"},
    {Op::Frac, "7", "", "0"},
    {Op::Frac, "1/3", "", "1/3"},
    {Op::Frac, "-22/7", "", "1/7"},
};

bool run_exact(Op op, RationalParts* r, const RationalParts* a, const char* b_text) {
    switch (op) {
        case Op::MulWord:
            return rational_mul_word(r, a, std::stoull(b_text));
        case Op::DivWord:
            return rational_div_word(r, a, std::stoull(b_text));
        case Op::PowInt:
            return rational_pow_int(r, a, static_cast<uint64_t>(std::stoll(b_text)));
        case Op::Pow10:
            return rational_pow10(r, std::stoll(b_text));
        case Op::Reciprocal:
            return rational_reciprocal(r, a);
        case Op::Sqrt:
            return rational_sqrt(r, a);
        case Op::Cbrt:
            return rational_cbrt(r, a);
        case Op::Exp2:
            return rational_exp2(r, a);
        case Op::Exp10:
            return rational_exp10(r, a);
        case Op::Log2:
            return rational_log2(r, a);
        case Op::Log10:
            return rational_log10(r, a);
        case Op::Factorial:
            return rational_factorial(r, a);
        case Op::Trunc:
            return rational_trunc(r, a);
        case Op::Frac:
            return rational_frac(r, a);
        default:
            break;
    }
    OwnedParts b{mpq_class(b_text)};
    switch (op) {
        case Op::Add:
            return rational_add(r, a, &b.parts);
        case Op::Sub:
            return rational_sub(r, a, &b.parts);
        case Op::Mul:
            return rational_mul(r, a, &b.parts);
        case Op::Div:
            return rational_div(r, a, &b.parts);
        case Op::Pow:
            return rational_pow(r, a, &b.parts);
        case Op::Root:
            return rational_root(r, a, &b.parts);
        default:
            return false;
    }
}

TEST(RationalExact, OperationTable) {
    Context ctx(4);
    for (const auto& c : kExactCases) {
        RationalWidth scope(rational_width(false));
        OwnedParts a{mpq_class(c.a)};
        OwnedParts r{mpq_class(0)};
        num_ctx.error_code = 0;
        const bool ok = run_exact(c.op, &r.parts, &a.parts, c.b);
        const std::string what = std::string("op ") + std::to_string(static_cast<int>(c.op)) + " " + c.a + ", " + c.b;
        EXPECT_EQ(num_ctx.error_code, 0u) << "exact operations raise nothing: " << what;
        EXPECT_EQ(ok, c.result != kNone) << what;
        if (ok && c.result != kNone) {
            EXPECT_EQ(r.value().get_str(), mpq_class(c.result).get_str()) << what;
            EXPECT_TRUE(gcd(abs(r.value().get_num()), r.value().get_den()) == 1) << what;
        }
    }
    ctx.check("table");
}

TEST(RationalExact, PendingErrorSurvivesAndIsNotMistakenForFailure) {
    Context ctx(2);
    RationalWidth scope(rational_width(false));
    OwnedParts a{mpq_class(1, 3)}, b{mpq_class(1, 6)}, r{mpq_class(0)};
    num_ctx.error_code = 13;
    EXPECT_TRUE(rational_add(&r.parts, &a.parts, &b.parts));
    EXPECT_EQ(r.value().get_str(), "1/2");
    EXPECT_EQ(num_ctx.error_code, 13u);
    OwnedParts big{mpq_class("18446744073709551615")};
    EXPECT_FALSE(rational_mul(&r.parts, &big.parts, &big.parts));
    EXPECT_EQ(num_ctx.error_code, 13u) << "the overflow inside stays hidden";
}

TEST(RationalExact, ResultMayBeTheOperand) {
    Context ctx(4);
    RationalWidth scope(rational_width(false));
    OwnedParts a{mpq_class(-3, 4)};
    OwnedParts b{mpq_class(2, 9)};
    EXPECT_TRUE(rational_reciprocal(&a.parts, &a.parts));
    EXPECT_EQ(a.value().get_str(), "-4/3");
    EXPECT_TRUE(rational_mul(&a.parts, &a.parts, &b.parts));
    EXPECT_EQ(a.value().get_str(), "-8/27");
    EXPECT_TRUE(rational_div(&b.parts, &a.parts, &b.parts));
    EXPECT_EQ(b.value().get_str(), "-4/3");
    EXPECT_TRUE(rational_sub(&b.parts, &b.parts, &b.parts));
    EXPECT_EQ(b.value().get_str(), "0");
}

// ---- Application rules -----------------------------------------------------------------------------------------

// The real fallbacks record the call and return their first operand, so a test sees which path was taken and
// what the rational operand was converted to.
int g_real_calls = 0;
void record_unary(RealNum* dst, const RealNum* a) {
    ++g_real_calls;
    real_copy(dst, a);
}
void record_word(RealNum* dst, const RealNum* a, uint64_t) {
    ++g_real_calls;
    real_copy(dst, a);
}
void record_binary(RealNum* dst, const RealNum* a, const RealNum*) {
    ++g_real_calls;
    real_copy(dst, a);
}
void record_int(RealNum* dst, const RealNum* a, int64_t) {
    ++g_real_calls;
    real_copy(dst, a);
}

TEST(RationalApply, DocumentedExamples) {
    Context ctx(2);
    const size_t n = 3;
    Words r(n);
    g_real_calls = 0;
    Words a = layout(mpq_class(1, 3), 2), b = layout(mpq_class(1, 6), 2);
    rational_apply_binary(r.data(), a.data(), b.data(), record_binary, rational_add, true);
    EXPECT_EQ(r, layout(mpq_class(1, 2), 2));
    EXPECT_EQ(g_real_calls, 0);

    // 2^(1/2): no exact result, the real operation runs on the converted operands.
    a = layout(mpq_class(2), 2);
    b = layout(mpq_class(1, 2), 2);
    rational_apply_binary(r.data(), a.data(), b.data(), record_binary, rational_pow, false);
    EXPECT_EQ(g_real_calls, 1);
    EXPECT_EQ(r, rounded_real(mpq_class(2), 2));

    a = layout(mpq_class(4, 9), 2);
    b = layout(mpq_class(3, 2), 2);
    rational_apply_binary(r.data(), a.data(), b.data(), record_binary, rational_pow, false);
    EXPECT_EQ(r, layout(mpq_class(8, 27), 2));

    a = layout(mpq_class(-8), 2);
    rational_apply_unary(r.data(), a.data(), record_unary, rational_cbrt);
    EXPECT_EQ(r, layout(mpq_class(-2), 2));
    b = layout(mpq_class(1, 3), 2);
    rational_apply_binary(r.data(), a.data(), b.data(), record_binary, rational_pow, false);
    EXPECT_EQ(g_real_calls, 2) << "(-8)^(1/3) has no exact result";

    a = layout(mpq_class(-7, 2), 2);
    rational_apply_unary(r.data(), a.data(), record_unary, rational_frac);
    EXPECT_EQ(r, layout(mpq_class(1, 2), 2));
    rational_apply_unary(r.data(), a.data(), record_unary, rational_trunc);
    EXPECT_EQ(r, layout(mpq_class(-3), 2));

    // No rational operation: straight to the real one.
    rational_apply_unary(r.data(), a.data(), record_unary, nullptr);
    EXPECT_EQ(g_real_calls, 3);
    EXPECT_EQ(r, rounded_real(mpq_class(-7, 2), 2));
    rational_apply_real_int(r.data(), a.data(), 5, record_int);
    EXPECT_EQ(g_real_calls, 4);
    EXPECT_EQ(r, rounded_real(mpq_class(-7, 2), 2));

    // A real operand of a binary operation sends both to the real operation.
    Words real_b = rounded_real(mpq_class(1, 4), 2);
    a = layout(mpq_class(1, 3), 2);
    rational_apply_binary(r.data(), a.data(), real_b.data(), record_binary, rational_add, true);
    EXPECT_EQ(g_real_calls, 5);
    EXPECT_EQ(r, rounded_real(mpq_class(1, 3), 2));

    // The result may be the operand.
    a = layout(mpq_class(3, 4), 2);
    rational_apply_with_word(a.data(), a.data(), 6, record_word, rational_mul_word);
    EXPECT_EQ(a, layout(mpq_class(9, 2), 2));
    EXPECT_EQ(num_ctx.error_code, 0u);
    ctx.check("examples");
}

TEST(RationalApply, ProductBeyond32LBitsBecomesARealWithoutError) {
    // L = 3: parts of 96 bits in a width of 128 bits; a 120-bit product is exact but does not fit: rounded real.
    {
        Context ctx(3);
        const mpq_class x(mpz_class("1152921504606846977"), 3);  // 2^60 + 1 over 3
        const mpq_class y(mpz_class("1152921504606846983"), 7);
        Words a = layout(x, 3), b = layout(y, 3), r(4);
        g_real_calls = 0;
        rational_apply_binary(r.data(), a.data(), b.data(), record_binary, rational_mul, false);
        EXPECT_EQ(g_real_calls, 0);
        EXPECT_EQ(r, rounded_real(x * y, 3)) << describe(r, 3);
        EXPECT_EQ(num_ctx.error_code, 0u);
        ctx.check("product L=3");
    }
    // L = 2: the width is the part size, so the product overflows inside and the real operation takes over.
    {
        Context ctx(2);
        const mpq_class x(mpz_class("1099511627777"), 1);
        Words a = layout(x, 2), r(3);
        g_real_calls = 0;
        rational_apply_binary(r.data(), a.data(), a.data(), record_binary, rational_mul, false);
        EXPECT_EQ(g_real_calls, 1);
        EXPECT_EQ(num_ctx.error_code, 0u);
        ctx.check("product L=2");
    }
}

TEST(RationalApply, PowerOfTen) {
    struct Case {
        int limbs;
        int64_t k;
        const char* exact;  // nullptr: the real 10^k
    };
    const Case cases[] = {
        {2, 3, "1000"},          {2, -19, "1/10000000000000000000"},
        {2, 20, nullptr},        {1, 9, "1000000000"},
        {1, 10, nullptr},        {1, -10, nullptr},
        {5, INT64_MIN, nullptr},
    };
    for (const auto& c : cases) {
        Context ctx(c.limbs);
        Words r(static_cast<size_t>(c.limbs) + 1);
        rational_power_of_ten(r.data(), c.k);
        ctx.check("power of ten");
        if (c.exact != nullptr) {
            EXPECT_EQ(r, layout(mpq_class(c.exact), c.limbs)) << c.k;
        } else if (c.k == INT64_MIN) {
            EXPECT_TRUE(real_is_zero(r.data()));
        } else {
            EXPECT_EQ(r[1], 1000000000000000000ull) << c.k;
            EXPECT_EQ(static_cast<int64_t>(r[0]) >> 1, c.k);
        }
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
}

// ---- Randomized differential tests against GMP ----------------------------------------------------------------

mpz_class random_bits(std::mt19937_64& rng, size_t max_bits) {
    const size_t n = rng() % 5 == 0 ? max_bits : static_cast<size_t>(rng() % (max_bits + 1));
    mpz_class v = 0;
    for (size_t i = 0; i < n; i += 64) v = (v << 64) + mpz_class(static_cast<unsigned long>(rng()));
    if (n == 0) return 0;
    mpz_class top = 1;
    top <<= n;
    v %= top;
    if (rng() % 3 == 0) v |= top >> 1;  // exactly n bits
    return v;
}

mpq_class random_rational(std::mt19937_64& rng, int limbs) {
    const size_t max_bits = 32u * static_cast<size_t>(limbs);
    mpq_class q;
    switch (rng() % 6) {
        case 0:
            q = mpq_class(static_cast<long>(rng() % 2000) - 1000, 1 + rng() % 30);
            break;
        case 1:
            q = mpq_class(random_bits(rng, max_bits));
            break;
        case 2:
            q = 0;
            break;
        default: {
            mpz_class d = random_bits(rng, max_bits);
            if (d == 0) d = 1;
            q = mpq_class(random_bits(rng, max_bits), d);
        }
    }
    q.canonicalize();
    if (!fits_part(q.get_num(), limbs) || !fits_part(q.get_den(), limbs)) q = mpq_class(q.get_num() % 1000, 7);
    q.canonicalize();
    if (rng() % 2) q = -q;
    return q;
}

// A small exponent m/n, reduced.
mpq_class random_exponent(std::mt19937_64& rng) {
    mpq_class e(static_cast<long>(rng() % 13) - 6, 1 + rng() % 4);
    e.canonicalize();
    return e;
}

// Raises a random base so that its n-th root is exact with some probability.
mpq_class maybe_power(std::mt19937_64& rng, const mpq_class& base, unsigned long n, int limbs) {
    if (n <= 1 || rng() % 2) return base;
    mpz_class p, q;
    mpz_pow_ui(p.get_mpz_t(), mpz_class(abs(base.get_num()) % 100000).get_mpz_t(), n);
    mpz_pow_ui(q.get_mpz_t(), mpz_class(base.get_den() % 1000 + 1).get_mpz_t(), n);
    mpq_class r(p, q);
    r.canonicalize();
    if (!fits_part(r.get_num(), limbs) || !fits_part(r.get_den(), limbs)) return base;
    return base < 0 ? mpq_class(-r) : r;
}

bool fits_width(const mpq_class& q, int w) {
    return bits(abs(q.get_num())) <= 64u * static_cast<size_t>(w) && bits(q.get_den()) <= 64u * static_cast<size_t>(w);
}

// Exact n-th root of a non-negative integer, or false.
bool exact_root(mpz_class* r, const mpz_class& a, const mpz_class& n) {
    if (!n.fits_ulong_p()) {
        *r = a > 0 ? 1 : 0;
        return a <= 1;
    }
    return mpz_root(r->get_mpz_t(), a.get_mpz_t(), n.get_ui()) != 0;
}

// The prediction for one application: nullopt-like flag `fallback` when the rational operation fails (the real
// operation then runs on the first operand), else the exact value, stored exactly or as the rounded real.
struct Expectation {
    bool fallback;
    mpq_class value;
    bool negative_zero = false;  // a zero result keeps a sign: a's for sums, the product of signs for products
};

Expectation expect_add(const mpq_class& a, const mpq_class& b, bool subtract, int limbs) {
    const mpq_class bb = subtract ? mpq_class(-b) : b;
    // Cross products at width L; an equal-sign sum that leaves the width is the only overflow.
    if (a.get_den() != b.get_den() && (a < 0) == (bb < 0) && a != 0 && b != 0) {
        const mpz_class sum = abs(a.get_num()) * b.get_den() + abs(b.get_num()) * a.get_den();
        if (bits(sum) > 64u * static_cast<size_t>(limbs)) return {true, 0};
    }
    const mpq_class v = a + bb;
    return {false, v, v == 0 && a < 0};
}

Expectation expect_mul_div(const mpq_class& a, const mpq_class& b, bool divide, int limbs) {
    if (divide && b == 0) return {true, 0};
    const mpq_class v = divide ? mpq_class(a / b) : mpq_class(a * b);
    return {!fits_width(v, (limbs + 1) / 2), v, v == 0 && ((a < 0) != (b < 0))};
}

Expectation expect_pow_int(const mpq_class& a, int64_t k, int limbs) {
    const int w = (limbs + 1) / 2;
    if (k == INT64_MIN || (k < 0 && a == 0)) return {true, 0};
    const unsigned long m = static_cast<unsigned long>(k < 0 ? -k : k);
    mpz_class p, q;
    mpz_pow_ui(p.get_mpz_t(), mpz_class(abs(a.get_num())).get_mpz_t(), m);
    mpz_pow_ui(q.get_mpz_t(), a.get_den().get_mpz_t(), m);
    if (bits(p) > 64u * w || bits(q) > 64u * w) return {true, 0};
    mpq_class v = k < 0 ? mpq_class(q, p) : mpq_class(p, q);
    v.canonicalize();
    if (a < 0 && (m & 1)) v = -v;
    return {false, v};
}

// a^e (root = false) or a^(1/e) (root = true) by the documented rules.
Expectation expect_pow_root(const mpq_class& a, const mpq_class& e, bool root, int limbs) {
    const int w = (limbs + 1) / 2;
    const mpz_class m = abs(e.get_num()), n = e.get_den();
    const mpz_class root_degree = root ? m : n;
    const mpz_class power = root ? n : m;
    if (root && m == 0) return {true, 0};
    const bool negative = a < 0;
    if (negative) {
        if (n != 1) return {true, 0};
        if (root && m % 2 == 0) return {true, 0};
    }
    mpz_class p = abs(a.get_num()), q = a.get_den();
    if (root_degree != 1) {
        if (!exact_root(&p, p, root_degree) || !exact_root(&q, q, root_degree)) return {true, 0};
    }
    mpz_pow_ui(p.get_mpz_t(), p.get_mpz_t(), power.get_ui());
    mpz_pow_ui(q.get_mpz_t(), q.get_mpz_t(), power.get_ui());
    if (bits(p) > 64u * w || bits(q) > 64u * w) return {true, 0};
    if (e < 0) {
        if (p == 0) return {true, 0};
        std::swap(p, q);
    }
    mpq_class v(p, q);
    v.canonicalize();
    const bool odd = root ? (m % 2 != 0) : (n == 1 && m % 2 != 0);
    if (negative && odd) v = -v;
    return {false, v};
}

void check_expectation(const Words& got, const Expectation& e, int calls, const mpq_class& first, int limbs,
                       const std::string& what) {
    if (e.fallback) {
        ASSERT_EQ(calls, 1) << "expected the real fallback: " << what;
        ASSERT_EQ(got, rounded_real(first, limbs)) << what << " got " << describe(got, limbs);
        return;
    }
    ASSERT_EQ(calls, 0) << "expected an exact result: " << what;
    if (fits_part(e.value.get_num(), limbs) && fits_part(e.value.get_den(), limbs))
        ASSERT_EQ(got, layout(e.value, limbs, e.negative_zero)) << what << " got " << describe(got, limbs);
    else
        ASSERT_EQ(got, rounded_real(e.value, limbs))
            << what << " = " << e.value.get_str() << " got " << describe(got, limbs);
}

constexpr int kRandomLimbs[] = {1, 2, 3, 8, 33};

int iterations_for(int limbs) {
    return limbs <= 3 ? 600 : (limbs <= 8 ? 300 : 80);
}

TEST(RationalRandom, ArithmeticMatchesGmp) {
    for (int limbs : kRandomLimbs) {
        std::mt19937_64 rng(1000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        const size_t size = static_cast<size_t>(limbs) + 1;
        for (int it = 0; it < iterations_for(limbs); ++it) {
            const mpq_class a = random_rational(rng, limbs);
            const mpq_class b = random_rational(rng, limbs);
            const Words wa = layout(a, limbs), wb = layout(b, limbs);
            const std::string operands = "L=" + std::to_string(limbs) + " a=" + a.get_str() + " b=" + b.get_str();
            struct Binary {
                const char* name;
                RationalBinaryOp op;
                bool wide;
                Expectation expected;
            };
            const Binary ops[] = {
                {"add", rational_add, true, expect_add(a, b, false, limbs)},
                {"sub", rational_sub, true, expect_add(a, b, true, limbs)},
                {"mul", rational_mul, false, expect_mul_div(a, b, false, limbs)},
                {"div", rational_div, false, expect_mul_div(a, b, true, limbs)},
            };
            for (const auto& o : ops) {
                Words r(size, 0x5555);
                g_real_calls = 0;
                rational_apply_binary(r.data(), wa.data(), wb.data(), record_binary, o.op, o.wide);
                ctx.check(o.name);
                ASSERT_EQ(num_ctx.error_code, 0u) << o.name << " " << operands;
                check_expectation(r, o.expected, g_real_calls, a, limbs, std::string(o.name) + " " + operands);
            }

            int64_t k = static_cast<int64_t>(rng() % 13) - 6;
            if (it % 50 == 0) k = INT64_MIN;
            if (it % 50 == 1) k = static_cast<int64_t>(rng() % 200);
            Words r(size);
            g_real_calls = 0;
            rational_apply_with_word(r.data(), wa.data(), static_cast<uint64_t>(k), record_word, rational_pow_int);
            ctx.check("pow_int");
            ASSERT_EQ(num_ctx.error_code, 0u);
            check_expectation(r, expect_pow_int(a, k, limbs), g_real_calls, a, limbs,
                              "pow_int k=" + std::to_string(k) + " " + operands);

            const mpq_class e = random_exponent(rng);
            for (bool root : {false, true}) {
                const unsigned long degree = (root ? abs(e.get_num()) : e.get_den()).get_ui();
                const mpq_class base = maybe_power(rng, a, degree, limbs);
                const Words wbase = layout(base, limbs), we = layout(e, limbs);
                g_real_calls = 0;
                rational_apply_binary(r.data(), wbase.data(), we.data(), record_binary,
                                      root ? rational_root : rational_pow, false);
                ctx.check(root ? "root" : "pow");
                ASSERT_EQ(num_ctx.error_code, 0u);
                check_expectation(r, expect_pow_root(base, e, root, limbs), g_real_calls, base, limbs,
                                  std::string(root ? "root " : "pow ") + base.get_str() + " e=" + e.get_str() +
                                      " L=" + std::to_string(limbs));
            }
        }
    }
}

TEST(RationalRandom, LargestPrecisionFitsTheScratchStack) {
    constexpr int kLimbs = 527;
    std::mt19937_64 rng(527);
    Context ctx(kLimbs);
    for (int it = 0; it < 6; ++it) {
        mpz_class n1 = random_bits(rng, 32 * kLimbs), d1 = random_bits(rng, 32 * kLimbs) + 1;
        mpz_class n2 = random_bits(rng, 32 * kLimbs), d2 = random_bits(rng, 32 * kLimbs) + 1;
        mpq_class a(n1, d1), b(n2, d2);
        a.canonicalize();
        b.canonicalize();
        const Words wa = layout(a, kLimbs), wb = layout(b, kLimbs);
        Words r(kLimbs + 1);
        for (bool divide : {false, true}) {
            g_real_calls = 0;
            rational_apply_binary(r.data(), wa.data(), wb.data(), record_binary, divide ? rational_div : rational_mul,
                                  false);
            ctx.check("mul/div at 527");
            ASSERT_EQ(num_ctx.error_code, 0u);
            check_expectation(r, expect_mul_div(a, b, divide, kLimbs), g_real_calls, a, kLimbs, "527");
        }
        g_real_calls = 0;
        rational_apply_binary(r.data(), wa.data(), wb.data(), record_binary, rational_add, true);
        ctx.check("add at 527");
        ASSERT_EQ(num_ctx.error_code, 0u);
        check_expectation(r, expect_add(a, b, false, kLimbs), g_real_calls, a, kLimbs, "527 add");
    }
}

TEST(RationalRandom, ComparisonsMatchGmp) {
    for (int limbs : kRandomLimbs) {
        std::mt19937_64 rng(2000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        for (int it = 0; it < iterations_for(limbs); ++it) {
            const mpq_class a = random_rational(rng, limbs);
            const mpq_class b = rng() % 4 == 0 ? a : random_rational(rng, limbs);
            const Words wa = layout(a, limbs), wb = layout(b, limbs);
            const std::string what = "L=" + std::to_string(limbs) + " a=" + a.get_str() + " b=" + b.get_str();
            ASSERT_EQ(rational_compare(wa.data(), wb.data()), cmp(a, b) < 0 ? -1 : (cmp(a, b) > 0 ? 1 : 0)) << what;
            ctx.check("compare");

            // Against a real operand the comparison is between the converted reals.
            const Words rb = rounded_real(b, limbs);
            const mpq_class ra = real_value(rounded_real(a, limbs), limbs), rbv = real_value(rb, limbs);
            ASSERT_EQ(rational_compare(wa.data(), rb.data()), cmp(ra, rbv) < 0 ? -1 : (cmp(ra, rbv) > 0 ? 1 : 0))
                << what;
            ctx.check("compare real");

            int64_t w;
            switch (rng() % 4) {
                case 0:
                    w = static_cast<int64_t>(rng());
                    break;
                case 1:
                    w = static_cast<int64_t>(rng() % 2001) - 1000;
                    break;
                default: {
                    mpz_class t = a.get_num() / a.get_den();
                    w = t.fits_slong_p() ? t.get_si() + static_cast<int64_t>(rng() % 3) - 1 : 0;
                }
            }
            const mpq_class wq(mpz_class(std::to_string(w)));
            const int expected = cmp(a, wq) < 0 ? -1 : (cmp(a, wq) > 0 ? 1 : 0);
            ASSERT_EQ(rational_compare_word(wa.data(), w), expected) << what << " w=" << w;
            ctx.check("compare_word");
            ASSERT_EQ(rational_is_zero(wa.data()), a == 0) << what;
            ASSERT_EQ(num_ctx.error_code, 0u);
        }
    }
}

TEST(RationalRandom, ConversionsToRealAndWord) {
    for (int limbs : kRandomLimbs) {
        std::mt19937_64 rng(3000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        const size_t size = static_cast<size_t>(limbs) + 1;
        for (int it = 0; it < iterations_for(limbs); ++it) {
            const mpq_class a = random_rational(rng, limbs);
            const Words wa = layout(a, limbs);
            Words r(size);
            rational_to_real(r.data(), wa.data());
            ctx.check("to_real");
            ASSERT_EQ(r, rounded_real(a, limbs))
                << "L=" << limbs << " " << a.get_str() << " got " << describe(r, limbs);

            // Parts of the full width L (wider than storage) still round correctly.
            {
                RationalWidth scope(rational_width(true));
                const mpz_class num = random_bits(rng, 64u * limbs), den = random_bits(rng, 64u * limbs) + 1;
                OwnedParts p{mpq_class(num, den)};
                rational_parts_to_real(r.data(), &p.parts);
                mpq_class v(num, den);
                v.canonicalize();
                ASSERT_EQ(r, rounded_real(v, limbs)) << "parts " << v.get_str();
            }

            uint64_t word = 1;
            const bool exact_int = a.get_den() == 1;
            const mpz_class t = abs(a.get_num()) / a.get_den();
            ASSERT_EQ(rational_to_word(&word, wa.data(), false), exact_int && t.fits_ulong_p()) << a.get_str();
            if (exact_int && t.fits_ulong_p()) {
                ASSERT_EQ(word, t.get_ui());
            }
            ASSERT_EQ(rational_to_word(&word, wa.data(), true), t.fits_ulong_p()) << a.get_str();
            if (t.fits_ulong_p()) {
                ASSERT_EQ(word, t.get_ui());
            }
            ctx.check("to_word");

            Words neg(size);
            rational_negate(neg.data(), wa.data());
            ASSERT_EQ(read_layout(neg, limbs).get_str(), mpq_class(-a).get_str());
            ASSERT_EQ(num_ctx.error_code, 0u);
        }
    }
}

// ---- Text ------------------------------------------------------------------------------------------------------

struct ReadCase {
    int limbs;
    const char* text;
    const char* exact;  // rational expected, or nullptr
    const char* real;   // real expected (exact decimal value), or nullptr
    uint32_t error;
    bool negative_zero;
};

const ReadCase kReadCases[] = {
    {2, "6/4", "3/2", nullptr, 0, false},
    {2, "-0/5", "0", nullptr, 0, true},
    {2, "1/0", nullptr, nullptr, 14, false},
    {2, "1/+2", nullptr, nullptr, 21, false},
    {2, "+-1", nullptr, nullptr, 21, false},
    {2, "-", nullptr, nullptr, 21, false},
    {2, "", nullptr, nullptr, 21, false},
    {2, "   ", nullptr, nullptr, 21, false},
    {2, "1.5/2", nullptr, nullptr, 21, false},
    {2, "1.5", nullptr, "3/2", 0, false},
    {2, "-2e3", nullptr, "-2000", 0, false},
    {2, " 1'234/2 ", "617", nullptr, 0, false},
    {2, "+7", "7", nullptr, 0, false},
    {2, "12a", nullptr, nullptr, 21, false},
    {2, "3/-4", nullptr, nullptr, 21, false},
    {2, "1/2/3", nullptr, nullptr, 21, false},
    {2, "/2", nullptr, nullptr, 21, false},
    {1, "-4294967295/4294967294", "-4294967295/4294967294", nullptr, 0, false},
    {1, "4294967296/3", nullptr, nullptr, 14, false},
    {1, "12345678901", nullptr, "12345678901", 0, false},
    {1, "-18446744073709551616", nullptr, "-18446744073709551616", 0, false},
    {2, "123456789012345678901234567890", nullptr, "123456789012345678901234567890", 0, false},
};

TEST(RationalText, ReadsLiterals) {
    for (const auto& c : kReadCases) {
        Context ctx(c.limbs);
        Words x(static_cast<size_t>(c.limbs) + 1, 77);
        const std::u16string text = u16(c.text);
        rational_from_text(x.data(), text.c_str(), -1);
        ctx.check(c.text);
        EXPECT_EQ(num_ctx.error_code, c.error) << '"' << c.text << '"';
        if (c.exact != nullptr) {
            EXPECT_EQ(x, layout(mpq_class(c.exact), c.limbs, c.negative_zero))
                << c.text << ": " << describe(x, c.limbs);
        } else if (c.real != nullptr) {
            EXPECT_EQ(x, rounded_real(mpq_class(c.real), c.limbs)) << c.text << ": " << describe(x, c.limbs);
        } else {
            EXPECT_EQ(x, Words(static_cast<size_t>(c.limbs) + 1, 0)) << c.text << " gives real +0";
        }
        if (c.negative_zero) {
            Words zero = layout(mpq_class(0), c.limbs);
            EXPECT_EQ(rational_compare(x.data(), zero.data()), 0);
            EXPECT_EQ(rational_compare_word(x.data(), 0), 0);
        }
        num_ctx.error_code = 0;
    }
}

TEST(RationalText, PendingErrorWinsWhenReading) {
    Context ctx(2);
    Words x(3);
    num_ctx.error_code = 13;
    const std::u16string bad = u"1/0", good = u"2/4";
    rational_from_text(x.data(), bad.c_str(), -1);
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(x, Words(3, 0));
    rational_from_text(x.data(), good.c_str(), -1);
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(x, layout(mpq_class(1, 2), 2));
}

struct WriteCase {
    const char* value;
    bool negative_zero;
    uint32_t flags;
    int capacity;
    uint32_t pending;
    const char* text;
    uint32_t error;
};

const WriteCase kWriteCases[] = {
    {"3/2", false, 0, 50, 0, "3/2", 0},
    {"-3/2", false, 0, 50, 0, "-3/2", 0},
    {"5", false, 0, 50, 0, "5", 0},
    {"5", false, kIntFmtAlwaysSign, 50, 0, "+5", 0},
    {"0", true, 0, 50, 0, "0", 0},
    {"0", true, kIntFmtAlwaysSign, 50, 0, "-0", 0},
    {"1234567/1000", false, kIntFmtGroupDigits, 50, 0, "1'234'567/1'000", 0},
    {"3/2", false, 0, 50, 13, "!3/2", 13},
    {"-3/2", false, 0, 4, 0, "-3/2", 0},
    {"-3/2", false, 0, 3, 0, "[!]", 20},
    {"-3/2", false, 0, 2, 0, "", 20},
    {"12345", false, 0, 2, 0, "", 20},
    {"12", false, 0, 2, 0, "12", 0},
    {"3/2", false, 0, 3, 13, "[!]", 13},
};

TEST(RationalText, WritesFractions) {
    for (const auto& c : kWriteCases) {
        Context ctx(4);
        Words x = layout(mpq_class(c.value), 4, c.negative_zero);
        num_ctx.error_code = c.pending;
        std::vector<char16_t> buffer(static_cast<size_t>(c.capacity) + 4, u'#');
        const int n = rational_to_text(buffer.data(), c.capacity, x.data(), c.flags);
        ctx.check(c.value);
        EXPECT_EQ(narrow(buffer.data(), n), c.text) << c.value << " cap " << c.capacity;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.value;
        for (size_t i = static_cast<size_t>(c.capacity); i < buffer.size(); ++i) EXPECT_EQ(buffer[i], u'#');
    }
}

TEST(RationalText, RealValuesUseTheRealWriter) {
    Context ctx(2);
    Words x = rounded_real(mpq_class(3, 2), 2);
    char16_t buffer[64];
    const int n = rational_to_text(buffer, 64, x.data(), 0);
    EXPECT_EQ(narrow(buffer, n), "1.5");
}

TEST(RationalText, RoundTripsMatchGmp) {
    for (int limbs : {1, 3, 8, 33}) {
        std::mt19937_64 rng(5000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        for (int it = 0; it < 200; ++it) {
            const mpq_class a = random_rational(rng, limbs);
            const Words wa = layout(a, limbs);
            std::vector<char16_t> buffer(800);
            const int n = rational_to_text(buffer.data(), 800, wa.data(), 0);
            ASSERT_EQ(narrow(buffer.data(), n), a.get_str());
            Words back(static_cast<size_t>(limbs) + 1);
            rational_from_text(back.data(), buffer.data(), n);
            ASSERT_EQ(back, wa) << a.get_str();
            ctx.check("round trip");
            ASSERT_EQ(num_ctx.error_code, 0u);
        }
    }
}

}  // namespace
