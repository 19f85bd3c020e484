// Rationals: storage, exact operations and text as tables, and the application rules against GMP (exact results)
// and an exact half-up rounding oracle (real fallbacks). Every call must leave the scratch top, the integer width
// and the precision as it found them.
#include "integer/rational.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "integer/integer_text.h"
#include "numeric/real_arith.h"
#include "support/decimal_oracle.h"
#include "support/gmp_words.h"

namespace {

constexpr int32_t kWidthSentinel = 7;  // int_limbs outside every call; each call must restore it

// The rational type at precision L with the width sentinel; check() verifies that nothing leaked from a call.
struct Context : Scope, Snapshot {
    explicit Context(int l) : Scope(kTypeRational, l, kWidthSentinel) {}
    void check(const std::string& where) const {
        ASSERT_TRUE(same()) << "scratch top, width, precision or guard not restored: " << where;
    }
};

// ---- Oracles ---------------------------------------------------------------------------------------------------

mpq_class Q(const std::string& text) {
    mpq_class q(text);
    q.canonicalize();
    return q;
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
        mpq_class q(Z(num), Z(den));
        q.canonicalize();
        return parts.negative ? mpq_class(-q) : q;
    }
};

// ---- Storage ---------------------------------------------------------------------------------------------------

// A real is not a rational (17), a part wider than the width does not unpack (12); both give +0/1. A width outside
// 1..2000 raises 1 and keeps the previous one.
TEST(RationalStorage, UnpackAndWidthFailures) {
    Context ctx(4);
    Words real(5, 0);
    real_from_u64(real.data(), 5);
    for (const auto& [x, width, error] :
         {std::tuple{real, rational_width(false), 17u}, std::tuple{layout(Q("36893488147419103232/3"), 4), 1, 12u}}) {
        RationalWidth scope(width);
        OwnedParts p(mpq_class(-7, 9));
        rational_unpack(&p.parts, x.data());
        EXPECT_EQ(num_ctx.error_code, error);
        EXPECT_TRUE(!p.parts.negative && Z(p.num) == 0 && Z(p.den) == 1) << "+0/1 after error " << error;
        num_ctx.error_code = 0;
    }
    for (int width : {2001, 0}) {
        EXPECT_FALSE(RationalWidth(width).ok);
        EXPECT_TRUE(num_ctx.int_limbs == kWidthSentinel && num_ctx.error_code == 1u) << "width " << width;
        num_ctx.error_code = 0;
    }
    ctx.check("unpack and width failures");
}

// rational_from_words (a/b), rational_constant (code a: 0/1, 1/M, M/1 for 0, 12, 13 with M = 2^(32L) - 1, else
// the real special value) and rational_power_of_ten (10^a). exact: the rational expected; real: the value of the
// real expected; neither: real +0.
TEST(RationalStorage, WordsConstantsAndPowersOfTen) {
    enum Make { kWords, kConstant, kPowerOfTen };
    // clang-format off
    const struct { Make make; int limbs; int64_t a, b; const char *exact, *real; uint32_t error; } rows[] = {
        {kWords, 2, INT64_MIN, 1, "-9223372036854775808", nullptr, 0}, {kWords, 2, 5, 0, nullptr, nullptr, 14},
        {kWords, 2, 5, -3, nullptr, nullptr, 14}, {kWords, 1, 4294967296, 3, nullptr, "4294967296/3", 0},
        {kWords, 1, 4294967295, 4294967294, "4294967295/4294967294", nullptr, 0},
        {kWords, 1, -7, 4294967297, nullptr, "-7/4294967297", 0}, {kPowerOfTen, 5, INT64_MIN, 0, nullptr, nullptr, 0},
        {kConstant, 5, 13, 0, "1461501637330902918203684832716283019655932542975", nullptr, 0},
        {kConstant, 5, 1, 0, nullptr, nullptr, 0},  // the real zero
        {kConstant, 2, 101, 0, nullptr, nullptr, 14}, {kConstant, 2, 2, 0, nullptr, nullptr, 14},
        {kConstant, 2, -1, 0, nullptr, nullptr, 14}, {kConstant, 2, 14, 0, nullptr, nullptr, 14},
        {kPowerOfTen, 2, -19, 0, "1/10000000000000000000", nullptr, 0},
        {kPowerOfTen, 2, 20, 0, nullptr, "100000000000000000000", 0}, {kPowerOfTen, 1, 9, 0, "1000000000", nullptr, 0},
        {kPowerOfTen, 1, 10, 0, nullptr, "10000000000", 0}, {kPowerOfTen, 1, -10, 0, nullptr, "1/10000000000", 0},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(c.limbs);
        Words x(static_cast<size_t>(c.limbs) + 1, 3);
        if (c.make == kWords) rational_from_words(x.data(), c.a, c.b);
        if (c.make == kConstant) rational_constant(x.data(), static_cast<int>(c.a));
        if (c.make == kPowerOfTen) rational_power_of_ten(x.data(), c.a);
        ctx.check("constructors");
        const std::string row = std::to_string(c.make) + ": " + std::to_string(c.a) + ", " + std::to_string(c.b);
        EXPECT_EQ(num_ctx.error_code, c.error) << row;
        const Words want = c.exact  ? layout(Q(c.exact), c.limbs)
                           : c.real ? rounded_real(Q(c.real), c.limbs)
                                    : Words(x.size(), 0);
        EXPECT_EQ(x, want) << row;
    }
}

// A rational keeps its exact form where its parts fit the new size; otherwise it becomes the real at the old
// precision, rounded half up on the first dropped limb, as a real does.
TEST(RationalStorage, Resize) {
    // clang-format off
    const struct { int from, to; const char* value; bool real, stays_exact; } rows[] = {
        {3, 8, "123456789012345678901234567/1000000007", false, true}, {4, 1, "-4294967295/17", false, true},
        {4, 1, "4294967296/17", false, false}, {2, 1, "2/3", true, false},
        {8, 3, "340282366920938463463374607431768211457/3", false, false},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(c.to);
        const mpq_class q = Q(c.value);
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

// The power, then the word operations, then the unary ones.
enum Op { Pow, MulWord, DivWord, PowInt, Reciprocal, Sqrt, Cbrt, Exp2, Exp10, Log2, Log10, Factorial, Trunc, Frac };

bool run_exact(Op op, RationalParts* r, const RationalParts* a, const char* b) {
    const RationalWordOp word[] = {rational_mul_word, rational_div_word, rational_pow_int};
    const RationalUnaryOp unary[] = {rational_reciprocal, rational_sqrt, rational_cbrt,  rational_exp2,
                                     rational_exp10,      rational_log2, rational_log10, rational_factorial,
                                     rational_trunc,      rational_frac};
    if (op >= Reciprocal) return unary[op - Reciprocal](r, a);
    if (op >= MulWord) return word[op - MulWord](r, a, static_cast<uint64_t>(std::stoll(b)));
    OwnedParts pb{Q(b)};
    return rational_pow(r, a, &pb.parts);
}

// At L = 4 (two-word parts of 128 bits); b is the exponent, or the word (signed decimal) of word operations. The
// sums, products, quotients, powers and roots of small operands are left to the randomised test below, the powers
// of ten to the constructor table, the plain exact results to the calculator's rational commands; these rows are
// the width boundaries and the failures.
TEST(RationalExact, OperationTable) {
    constexpr const char* kNone = nullptr;  // no exact result
    // clang-format off
    const struct { Op op; const char *a, *b, *result; } rows[] = {
        {Pow, "2", "128", kNone}, {Pow, "2", "127", "170141183460469231731687303715884105728"},
        {Pow, "1", "100000000000000000000", "1"}, {PowInt, "2", "128", kNone}, {MulWord, "-3/4", "0", "0"},
        {DivWord, "3/4", "0", kNone}, {Reciprocal, "0", "", kNone}, {Sqrt, "-4", "", kNone}, {Sqrt, "0", "", "0"},
        {Cbrt, "-8/27", "", "-2/3"}, {Cbrt, "9", "", kNone}, {Exp2, "1/2", "", kNone}, {Exp2, "128", "", kNone},
        {Log2, "1", "", "0"}, {Log2, "-8", "", kNone}, {Log2, "0", "", kNone}, {Log2, "6", "", kNone},
        {Log2, "3/8", "", kNone}, {Log10, "1/1000", "", "-3"}, {Log10, "999", "", kNone}, {Factorial, "0", "", "1"},
        {Factorial, "5/2", "", kNone}, {Factorial, "-3", "", kNone}, {Factorial, "35", "", kNone},
        {Factorial, "34", "", "295232799039604140847618609643520000000"}, {Trunc, "1/3", "", "0"},
        {Frac, "-7/2", "", "1/2"}, {Frac, "7", "", "0"}, {Frac, "-22/7", "", "1/7"},
    };
    // clang-format on
    Context ctx(4);
    for (const auto& c : rows) {
        RationalWidth scope(rational_width(false));
        OwnedParts a{Q(c.a)}, r{mpq_class(0)};
        const bool ok = run_exact(c.op, &r.parts, &a.parts, c.b);
        const std::string what = "op " + std::to_string(c.op) + " " + c.a + ", " + c.b;
        EXPECT_EQ(num_ctx.error_code, 0u) << "exact operations raise nothing: " << what;
        EXPECT_EQ(ok, c.result != kNone) << what;
        if (!ok || c.result == kNone) continue;
        EXPECT_EQ(r.value().get_str(), c.result) << what;
        EXPECT_TRUE(gcd(Z(r.num), Z(r.den)) == 1) << "reduced: " << what;
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
    EXPECT_TRUE(rational_reciprocal(&a.parts, &a.parts) && a.value() == mpq_class(-4, 3));
    EXPECT_TRUE(rational_mul(&a.parts, &a.parts, &b.parts) && a.value() == mpq_class(-8, 27));
    EXPECT_TRUE(rational_div(&b.parts, &a.parts, &b.parts) && b.value() == mpq_class(-4, 3));
    EXPECT_TRUE(rational_sub(&b.parts, &b.parts, &b.parts) && b.value() == 0);
    EXPECT_EQ(num_ctx.error_code, 13u);
}

// ---- Application rules against GMP ----------------------------------------------------------------------------

// The real fallbacks record the call and return their first operand, so a test sees which path was taken and
// what the rational operand was converted to.
int g_real_calls = 0;
template <typename... Rest>
void record(RealNum* dst, const RealNum* a, Rest...) {
    ++g_real_calls;
    real_copy(dst, a);
}

// Up to max_bits random bits, a third of them with exactly the drawn length.
mpz_class random_bits(Rng& rng, size_t max_bits) {
    const size_t n = rng() % 5 == 0 ? max_bits : static_cast<size_t>(rng() % (max_bits + 1));
    mpz_class v = 0;
    for (size_t i = 0; i < n; i += 64) v = (v << 64) + static_cast<unsigned long>(rng());
    v %= mpz_class(1) << n;
    if (n > 0 && rng() % 3 == 0) mpz_setbit(v.get_mpz_t(), n - 1);
    return v;
}

// Small fractions, integers, zero and fractions of random parts of up to 32 L bits, either sign.
mpq_class random_rational(Rng& rng, int limbs) {
    const size_t max_bits = 32u * static_cast<size_t>(limbs);
    const uint64_t kind = rng() % 6;
    mpq_class q = 0;
    if (kind == 0) q = mpq_class(static_cast<long>(rng() % 2000) - 1000, 1 + rng() % 30);
    if (kind == 1) q = mpq_class(random_bits(rng, max_bits));
    if (kind >= 3) {
        const mpz_class n = random_bits(rng, max_bits), d = random_bits(rng, max_bits);
        q = mpq_class(n, d == 0 ? mpz_class(1) : d);
    }
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

// Sums, products, quotients, integer powers, and powers and roots of bases that are often perfect powers (sums that
// leave the parts convert parts of width L; fallbacks get a as a real); comparisons with rationals, reals (rounding
// keeps the order) and words; words, negation and the text round trip. At L = 527 full parts must fit the scratch.
TEST(RationalRandom, OperationsAndQueriesMatchGmp) {
    for (int limbs : {1, 2, 3, 8, 33, 527}) {
        Rng rng(1000 + static_cast<uint64_t>(limbs));
        Context ctx(limbs);
        for (int it = 0; it < (limbs <= 3 ? 600 : (limbs <= 8 ? 300 : (limbs <= 33 ? 80 : 8))); ++it) {
            const mpq_class a = random_rational(rng, limbs), b = rng() % 8 == 0 ? a : random_rational(rng, limbs);
            const Words wa = layout(a, limbs), wb = layout(b, limbs);
            const std::string in = " L=" + std::to_string(limbs) + " a=" + a.get_str() + " b=" + b.get_str();
            Words r(static_cast<size_t>(limbs) + 1);
            // clang-format off
            const struct { const char* name; RationalBinaryOp op; bool wide; Expectation expected; } ops[] = {
                {"add", rational_add, true, expect_add(a, b, limbs)},
                {"sub", rational_sub, true, expect_add(a, mpq_class(-b), limbs)},
                {"mul", rational_mul, false, expect_mul_div(a, b, false, limbs)},
                {"div", rational_div, false, expect_mul_div(a, b, true, limbs)}};
            // clang-format on
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
            rational_apply_real_int(r.data(), wa.data(), it, record<int64_t>);
            ASSERT_EQ(r, ra) << "the real operation gets a as a real" << in;
            ASSERT_EQ(rational_compare(wa.data(), wb.data()), sgn(a - b)) << in;
            ASSERT_EQ(rational_compare(wa.data(), rb.data()), ra == rb ? 0 : sgn(a - b)) << in;
            const mpz_class t = a.get_num() / a.get_den();
            int64_t w = rng() % 4 == 0 ? static_cast<int64_t>(rng()) : static_cast<int64_t>(rng() % 2001) - 1000;
            if (rng() % 2) w = t.fits_slong_p() ? t.get_si() + static_cast<int64_t>(rng() % 3) - 1 : 0;
            ASSERT_EQ(rational_compare_word(wa.data(), w), sgn(a - mpq_class(mpz_class(std::to_string(w)))))
                << in << " w=" << w;
            ASSERT_EQ(rational_is_zero(wa.data()), a == 0) << in;
            uint64_t word = 1, truncated = 1;
            const mpz_class mag = abs(t);
            const uint64_t small = mag.fits_ulong_p() ? mag.get_ui() : 0;  // the word, or 0 when it fails
            ASSERT_EQ(rational_to_word(&word, wa.data(), false), a.get_den() == 1 && mag.fits_ulong_p()) << in;
            ASSERT_EQ(rational_to_word(&truncated, wa.data(), true), mag.fits_ulong_p()) << in;
            ASSERT_TRUE(word == (a.get_den() == 1 ? small : 0) && truncated == small) << in;
            rational_negate(r.data(), wa.data());
            ASSERT_EQ(r, layout(-a, limbs, a == 0)) << in;
            std::u16string text(12000, u'#');
            text.resize(static_cast<size_t>(rational_to_text(text.data(), 12000, wa.data(), 0)));
            ASSERT_EQ(text, u16(a.get_str())) << in;
            rational_from_text(r.data(), text.c_str(), -1);
            ASSERT_EQ(r, wa) << "text read back" << in;
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
        {2, "6/4", "3/2", nullptr, 0, 0}, {2, "-0/5", "-0/1", nullptr, 0, 0}, {2, "1/0", nullptr, nullptr, 0, 14},
        {2, "1/+2", nullptr, nullptr, 0, 21}, {2, "+-1", nullptr, nullptr, 0, 21}, {2, "   ", nullptr, nullptr, 0, 21},
        {2, "1.5/2", nullptr, nullptr, 0, 21}, {2, "3/-4", nullptr, nullptr, 0, 21},
        {2, "-2e3", nullptr, "-2000", 0, 0}, {2, " 1'234/2 ", "617", nullptr, 0, 0},
        {2, "1/2/3", nullptr, nullptr, 0, 21}, {1, "4294967296/3", nullptr, nullptr, 0, 14},
        {1, "-4294967295/4294967294", "-4294967295/4294967294", nullptr, 0, 0},
        {1, "12345678901", nullptr, "12345678901", 0, 0},
        {1, "-18446744073709551616", nullptr, "-18446744073709551616", 0, 0},
        {2, "123456789012345678901234567890", nullptr, "123456789012345678901234567890", 0, 0},
        {2, "1/0", nullptr, nullptr, 13, 13}, {2, "2/4", "1/2", nullptr, 13, 13},
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

}  // namespace
