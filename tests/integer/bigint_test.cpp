#include "integer/bigint.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"

namespace {

using u128 = unsigned __int128;
using Words = std::vector<uint64_t>;

// ---- GMP oracle and context helpers ----------------------------------------------------------------------------

struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(uint64_t x) { mpz_init_set_ui(v, x); }
    Mpz(const Words& w) {
        mpz_init(v);
        mpz_import(v, w.size(), -1, 8, 0, 0, w.data());
    }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    std::string str() const {
        char* s = mpz_get_str(nullptr, 16, v);
        std::string out = std::string("0x") + s;
        free(s);
        return out;
    }
};

// The value as w words, or an empty vector when it does not fit.
Words to_words(const mpz_t x, int w) {
    if (mpz_sizeinbase(x, 2) > 64u * w && mpz_sgn(x) != 0) return {};
    Words out(w, 0);
    mpz_export(out.data(), nullptr, -1, 8, 0, 0, x);
    return out;
}

std::string hex(const Words& w) {
    return Mpz(w).str();
}

// Sets the width, clears the error and records the scratch top, which every operation must leave unchanged.
struct Context {
    uint8_t* top;
    explicit Context(int w) {
        static const bool initialised = (init_numeric_context(), true);  // computes the constant table: once
        (void)initialised;
        num_ctx.int_limbs = w;
        num_ctx.error_code = 0;
        top = num_ctx.scratch_top;
    }
    ~Context() { EXPECT_EQ(num_ctx.scratch_top, top) << "scratch stack not restored"; }
};

Words word_value(int w, uint64_t x) {
    Words out(w, 0);
    out[0] = x;
    return out;
}

Words all_ones(int w) {
    return Words(w, ~0ull);
}

// Operands with a random significant length and words drawn from edge patterns, so that leading-zero skipping,
// carries across all words and the boundaries of the width are all reached.
Words random_value(std::mt19937_64& rng, int w, int max_words = -1) {
    if (max_words < 0 || max_words > w) max_words = w;
    Words out(w, 0);
    const int n = (rng() % 4 == 0) ? max_words : static_cast<int>(rng() % (max_words + 1));
    const int style = static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        switch (style == 5 ? static_cast<int>(rng() % 5) : style) {
            case 0:
            case 1:
                out[i] = rng();
                break;
            case 2:
                out[i] = ~0ull - (rng() % 3);
                break;
            case 3:
                out[i] = (rng() % 2) ? (1ull << 63) : 0;
                break;
            default:
                out[i] = rng() % 4;
                break;
        }
    }
    if (n > 0 && out[n - 1] == 0) out[n - 1] = 1 + rng() % 0xffff;
    return out;
}

constexpr int kWidths[] = {1, 2, 3, 8, 129, 512};

int iterations_for(int w) {
    return w <= 8 ? 1500 : (w <= 129 ? 150 : 25);
}

// Compares a result and the error code with the oracle's expectation (an empty `expected` means failure: code
// `code` and zero), then clears the code for the next operation.
void expect_result(const Words& got, const Words& expected, uint32_t code, const std::string& what) {
    if (expected.empty()) {
        EXPECT_EQ(num_ctx.error_code, code) << what;
        EXPECT_EQ(hex(got), "0x0") << what;
    } else {
        EXPECT_EQ(num_ctx.error_code, 0u) << what;
        EXPECT_EQ(hex(got), hex(expected)) << what;
    }
    num_ctx.error_code = 0;
}

// ---- Edge cases ------------------------------------------------------------------------------------------------

TEST(BigIntEdges, OverflowAtTheWidthBoundary) {
    for (int w : kWidths) {
        Context ctx(w);
        const Words max = all_ones(w);
        const Words one = word_value(w, 1);
        const Words zero(w, 0);
        Words r(w);
        bigint_add(r.data(), max.data(), one.data());
        expect_result(r, {}, 12, "max + 1 at w=" + std::to_string(w));
        bigint_add_word(r.data(), max.data(), 1);
        expect_result(r, {}, 12, "max +w 1");
        bigint_sub(r.data(), zero.data(), one.data());
        expect_result(r, {}, 12, "0 - 1");
        bigint_decrement(r.data(), zero.data());
        expect_result(r, {}, 12, "0 - 1 (decrement)");
        bigint_mul_word(r.data(), max.data(), 2);
        expect_result(r, {}, 12, "max * 2");
        bigint_decrement(r.data(), one.data());
        expect_result(r, zero, 0, "1 - 1");
        // (2^(32w) - 1)(2^(32w) + 1) = 2^(64w) - 1 fits; 2^(32w) squared does not.
        Mpz lo, hi, p;
        mpz_ui_pow_ui(lo.v, 2, 32 * w);
        mpz_add_ui(hi.v, lo.v, 1);
        Words h = to_words(hi.v, w);
        mpz_sub_ui(p.v, lo.v, 1);
        Words l = to_words(p.v, w);
        Words half = to_words(lo.v, w);
        bigint_mul(r.data(), l.data(), h.data());
        expect_result(r, max, 0, "(2^32w-1)(2^32w+1)");
        bigint_mul(r.data(), half.data(), half.data());
        expect_result(r, {}, 12, "2^32w squared");
    }
}

struct RootCase {
    uint64_t a;
    int64_t k;
    uint64_t root;
    bool exact;
};
const RootCase kRootCases[] = {
    {0, 2, 0, true},       {15, 2, 3, false},     {16, 2, 4, true},          {26, 3, 2, false},
    {27, 3, 3, true},      {1, 5, 1, true},       {2, 64, 1, false},         {~0ull, 2, 0xffffffffull, false},
    {~0ull, 64, 1, false}, {~0ull, 63, 2, false}, {1ull << 63, 63, 2, true}, {7, 1, 7, true},
};

TEST(BigIntEdges, RootsOfSmallValues) {
    for (int w : kWidths) {
        Context ctx(w);
        for (const auto& c : kRootCases) {
            Words a = word_value(w, c.a), r(w);
            const bool exact = bigint_root_word(r.data(), a.data(), c.k);
            EXPECT_EQ(r[0], c.root) << c.a << " root " << c.k;
            EXPECT_EQ(exact, c.exact) << c.a << " root " << c.k;
            EXPECT_EQ(num_ctx.error_code, 0u);
        }
        Words max = all_ones(w), r(w);
        EXPECT_FALSE(bigint_isqrt(r.data(), max.data()));
        Mpz expect;
        mpz_ui_pow_ui(expect.v, 2, 32 * w);
        mpz_sub_ui(expect.v, expect.v, 1);
        expect_result(r, to_words(expect.v, w), 0, "isqrt(max)");
    }
}

struct LogCase {
    uint64_t x;
    uint64_t base;
    uint64_t result;
    bool exact;
    uint32_t error;
};
const LogCase kLogCases[] = {
    {1000, 10, 3, true, 0},
    {999, 10, 2, false, 0},
    {1001, 10, 3, false, 0},
    {1, 10, 0, true, 0},
    {9, 10, 0, false, 0},
    {1024, 2, 10, true, 0},
    {1023, 2, 9, false, 0},
    {0, 10, 0, false, 12},
    {5, 1, 0, false, 12},
    {5, 0, 0, false, 12},
    {2, 3, 0, false, 0},
    {~0ull, ~0ull, 1, true, 0},
    {12157665459056928801ull, 3, 40, true, 0},  // 3^40, one whole chunk of the grouped divisions
};

TEST(BigIntEdges, Logarithms) {
    for (int w : {1, 3}) {
        Context ctx(w);
        for (const auto& c : kLogCases) {
            num_ctx.error_code = 0;
            Words x = word_value(w, c.x), b = word_value(w, c.base), r(w, 7);
            const bool exact =
                c.base == 10 ? bigint_log10(r.data(), x.data()) : bigint_log(r.data(), x.data(), b.data());
            EXPECT_EQ(r[0], c.result) << "log_" << c.base << " " << c.x;
            EXPECT_EQ(exact, c.exact) << "log_" << c.base << " " << c.x;
            EXPECT_EQ(num_ctx.error_code, c.error) << "log_" << c.base << " " << c.x;
        }
    }
}

TEST(BigIntEdges, PowersAndSpecialExponents) {
    Context ctx(2);
    Words r(2), zero(2, 0), one = word_value(2, 1), five = word_value(2, 5);
    bigint_pow_word(r.data(), zero.data(), 0);
    EXPECT_EQ(hex(r), "0x1") << "0^0";
    bigint_pow_word(r.data(), zero.data(), 5);
    EXPECT_EQ(hex(r), "0x0") << "0^5";
    bigint_pow_word(r.data(), five.data(), -1);
    expect_result(r, {}, 14, "5^-1");
    Words huge = {0, 1};  // 2^64 >= 2^63 as exponent
    bigint_pow(r.data(), one.data(), huge.data());
    expect_result(r, one, 0, "1^(2^64)");
    bigint_pow(r.data(), zero.data(), huge.data());
    expect_result(r, zero, 0, "0^(2^64)");
    bigint_pow(r.data(), five.data(), huge.data());
    expect_result(r, {}, 12, "5^(2^64)");
    Words e = word_value(2, 128);
    bigint_pow2(r.data(), e.data());
    expect_result(r, {}, 12, "2^128 at w=2");
    e = word_value(2, 127);
    bigint_pow2(r.data(), e.data());
    expect_result(r, Words{0, 1ull << 63}, 0, "2^127");
    e = word_value(2, 19);
    bigint_pow10(r.data(), e.data());
    expect_result(r, word_value(2, 10000000000000000000ull), 0, "10^19");
    e = word_value(2, 20);
    bigint_pow10(r.data(), e.data());
    Mpz t;
    mpz_ui_pow_ui(t.v, 10, 20);
    expect_result(r, to_words(t.v, 2), 0, "10^20");
    // k >= 2^63 for the BigInt root: 1 for a >= 1, exact only for a <= 1
    Words big_k = {1ull << 63, 0};
    EXPECT_FALSE(bigint_root(r.data(), five.data(), big_k.data()));
    EXPECT_EQ(hex(r), "0x1");
    EXPECT_TRUE(bigint_root(r.data(), zero.data(), big_k.data()));
    EXPECT_EQ(hex(r), "0x0");
    EXPECT_FALSE(bigint_root_word(r.data(), five.data(), 0));
    expect_result(r, {}, 14, "0th root");
}

struct ModInverseCase {
    uint64_t a;
    uint64_t m;
    uint64_t result;
    uint32_t error;
};
const ModInverseCase kModInverseCases[] = {
    {3, 7, 5, 0}, {2, 4, 0, 12}, {5, 1, 0, 14}, {1, 1, 0, 14}, {0, 1, 0, 13}, {0, 7, 0, 13},
    {1, 9, 1, 0}, {8, 7, 1, 0},  {3, 2, 1, 0},  {4, 2, 0, 12}, {7, 7, 0, 12}, {~0ull, ~0ull - 1, 1, 0},
};

struct PowModCase {
    uint64_t a;
    uint64_t e;
    uint64_t m;
    uint64_t result;
    uint32_t error;
};
// At one word the rule's products t*t overflow as soon as t reaches 2^32, and t*a whenever t*a >= 2^64.
const PowModCase kPowModCases[] = {
    {5, 0, 1, 0, 0},
    {5, 0, 7, 1, 0},
    {0, 0, 7, 1, 0},
    {5, 3, 0, 0, 13},
    {0, 3, 7, 0, 0},
    {10, 1, 7, 3, 0},
    {2, 10, 1000, 24, 0},
    {3, 200, 1ull << 31, 720941217, 0},
    {3, 200, 1ull << 32, 2868424865, 0},
    {3, 200, 1ull << 40, 0, 12},
    {~0ull, 1, 10, 5, 0},
    {~0ull, 2, 10, 5, 0},
    {~0ull, 3, 10, 0, 12},
};

TEST(BigIntEdges, ModularInverseAndPower) {
    Context ctx(1);
    for (const auto& c : kModInverseCases) {
        num_ctx.error_code = 0;
        Words a = {c.a}, m = {c.m}, r = {99};
        bigint_modinv(r.data(), a.data(), m.data());
        EXPECT_EQ(r[0], c.result) << c.a << "^-1 mod " << c.m;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.a << "^-1 mod " << c.m;
    }
    for (const auto& c : kPowModCases) {
        num_ctx.error_code = 0;
        Words a = {c.a}, e = {c.e}, m = {c.m}, r = {99};
        bigint_powmod(r.data(), a.data(), e.data(), m.data());
        EXPECT_EQ(r[0], c.result) << c.a << "^" << c.e << " mod " << c.m;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.a << "^" << c.e << " mod " << c.m;
    }
}

TEST(BigIntEdges, DivisionByZeroAndGcdOfZero) {
    Context ctx(3);
    Words a = {5, 6, 7}, zero(3, 0), q(3, 9), m(3, 9);
    bigint_divmod(q.data(), m.data(), a.data(), zero.data());
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(hex(q), "0x0");
    EXPECT_EQ(hex(m), "0x0");
    num_ctx.error_code = 0;
    EXPECT_EQ(bigint_divmod_word(q.data(), a.data(), 0), 0u);
    EXPECT_EQ(num_ctx.error_code, 13u);
    num_ctx.error_code = 0;
    Words five = word_value(3, 5), r(3, 9);
    bigint_gcd(r.data(), zero.data(), five.data());
    expect_result(r, {}, 12, "gcd(0, 5)");
}

TEST(BigIntEdges, BitsAndWordConversions) {
    Context ctx(2);
    Words a = {0, 0};
    bigint_set_bit(a.data(), 127, true);
    EXPECT_EQ(hex(a), "0x80000000000000000000000000000000");
    EXPECT_EQ(bigint_test_bit(a.data(), 127), 1);
    EXPECT_EQ(bigint_bit_length(a.data()), 128u);
    bigint_set_bit(a.data(), 128, true);
    EXPECT_EQ(num_ctx.error_code, 14u) << "bit 128 at w=2";
    EXPECT_EQ(hex(a), "0x80000000000000000000000000000000") << "unchanged";
    num_ctx.error_code = 0;
    EXPECT_EQ(bigint_test_bit(a.data(), 200), 0);
    EXPECT_EQ(num_ctx.error_code, 14u);
    num_ctx.error_code = 0;
    int64_t i64;
    uint64_t u64;
    EXPECT_FALSE(bigint_to_int64(&i64, a.data(), true));
    EXPECT_EQ(num_ctx.error_code, 0u) << "quiet";
    EXPECT_FALSE(bigint_to_uint64(&u64, a.data(), false));
    EXPECT_EQ(num_ctx.error_code, 14u);
    num_ctx.error_code = 0;
    Words b = {1ull << 63, 0};
    EXPECT_FALSE(bigint_to_int64(&i64, b.data(), true));
    EXPECT_TRUE(bigint_to_uint64(&u64, b.data(), false));
    EXPECT_EQ(u64, 1ull << 63);
    b[0] -= 1;
    EXPECT_TRUE(bigint_to_int64(&i64, b.data(), false));
    EXPECT_EQ(i64, INT64_MAX);
    EXPECT_EQ(bigint_compare_word(a.data(), 0), 1) << "upper word decides";
    EXPECT_FALSE(bigint_is_one(a.data()));
}

// A pending code survives every isolated operation, also one that raises its own.
TEST(BigIntEdges, IsolatedOperationsKeepThePendingCode) {
    Context ctx(1);
    Words max = all_ones(1), r(1), big_e = word_value(1, 100), ten = word_value(1, 10);
    num_ctx.error_code = 21;
    bigint_pow_word(r.data(), max.data(), 2);
    EXPECT_EQ(num_ctx.error_code, 21u);
    EXPECT_EQ(r[0], 0u) << "overflow still yields zero";
    bigint_pow10(r.data(), big_e.data());
    EXPECT_EQ(num_ctx.error_code, 21u);
    EXPECT_EQ(r[0], 0u);
    bigint_factorial(r.data(), big_e.data());
    EXPECT_EQ(num_ctx.error_code, 21u);
    EXPECT_EQ(r[0], 0u);
    EXPECT_TRUE(bigint_isqrt(r.data(), big_e.data()));
    EXPECT_EQ(r[0], 10u);
    bigint_pow_word(r.data(), ten.data(), 3);
    EXPECT_EQ(r[0], 1000u) << "a pending code does not disturb the computation";
    EXPECT_EQ(num_ctx.error_code, 21u);
    // without a pending code the isolated operation leaves its own
    num_ctx.error_code = 0;
    bigint_pow_word(r.data(), max.data(), 2);
    EXPECT_EQ(num_ctx.error_code, 12u);
    // non-isolated: first error wins, the result is still zero
    num_ctx.error_code = 13;
    bigint_add(r.data(), max.data(), max.data());
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(r[0], 0u);
}

// The add-back step of the long division: v has its top bit set and a non-zero low part, u = q * (top two words of
// v) * 2^(64 (nv - 2 + s)). The estimate from the top words is exactly q and passes the second-word test, while the
// true quotient word is q - 1.
TEST(BigIntDivision, AddBackCase) {
    std::mt19937_64 rng(7);
    for (int w : {4, 8, 129}) {
        Context ctx(w);
        for (int it = 0; it < 200; ++it) {
            const int nv = 3 + static_cast<int>(rng() % (w - 3));
            const int s = static_cast<int>(rng() % (w - nv));
            Words v(w, 0);
            for (int i = 0; i < nv; ++i) v[i] = rng();
            v[nv - 1] |= 1ull << 63;
            v[0] |= 1;
            const uint64_t q = 1 + rng() % (~0ull - 1);
            Mpz u, vm(v), expect_q, expect_r, top_digit;
            mpz_set_ui(u.v, v[nv - 1]);
            mpz_mul_2exp(u.v, u.v, 64);
            mpz_add_ui(u.v, u.v, v[nv - 2]);
            mpz_mul_ui(u.v, u.v, q);
            mpz_mul_2exp(u.v, u.v, 64 * (nv - 2 + s));
            mpz_tdiv_qr(expect_q.v, expect_r.v, u.v, vm.v);
            mpz_tdiv_q_2exp(top_digit.v, expect_q.v, 64 * s);
            ASSERT_EQ(mpz_cmp_ui(top_digit.v, q - 1), 0) << "construction at w=" << w;
            Words uw = to_words(u.v, w), qr(w), mr(w);
            bigint_divmod(qr.data(), mr.data(), uw.data(), v.data());
            EXPECT_EQ(hex(qr), expect_q.str()) << hex(uw) << " / " << hex(v);
            EXPECT_EQ(hex(mr), expect_r.str()) << hex(uw) << " / " << hex(v);
        }
    }
}

// ---- Randomised differential tests against GMP -----------------------------------------------------------------

// Binary operations with overflow or zero-divisor rules, checked at every width, out of place and in place.
TEST(BigIntRandom, ArithmeticAgainstGmp) {
    std::mt19937_64 rng(20261206);
    for (int w : kWidths) {
        Context ctx(w);
        Mpz limit;
        mpz_ui_pow_ui(limit.v, 2, 64 * w);
        for (int it = 0; it < iterations_for(w); ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w);
            if (it % 7 == 0) {  // a + b exactly at 2^(64w) - 1 or 2^(64w)
                Mpz ma(a), t;
                mpz_sub_ui(t.v, limit.v, 1 + (it / 7) % 2);
                if (mpz_cmp(t.v, ma.v) >= 0) {
                    mpz_sub(t.v, t.v, ma.v);
                    mpz_add_ui(t.v, t.v, (it / 7) % 2);
                    b = to_words(t.v, w);
                }
            }
            const uint64_t word = random_value(rng, 1)[0];
            const std::string in = " a=" + hex(a) + " b=" + hex(b) + " w=" + std::to_string(w);
            Mpz ma(a), mb(b), x, y;
            Words r(w), q(w), m(w);

            mpz_add(x.v, ma.v, mb.v);
            num_ctx.error_code = 0;
            bigint_add(r.data(), a.data(), b.data());
            expect_result(r, to_words(x.v, w), 12, "add" + in);

            mpz_add_ui(x.v, ma.v, word);
            num_ctx.error_code = 0;
            r = a;
            bigint_add_word(r.data(), r.data(), word);
            expect_result(r, to_words(x.v, w), 12, "add_word in place" + in);

            bigint_sub(r.data(), a.data(), b.data());
            mpz_sub(x.v, ma.v, mb.v);
            expect_result(r, mpz_sgn(x.v) < 0 ? Words{} : to_words(x.v, w), 12, "sub" + in);

            bigint_decrement(r.data(), a.data());
            mpz_sub_ui(x.v, ma.v, 1);
            expect_result(r, mpz_sgn(x.v) < 0 ? Words{} : to_words(x.v, w), 12, "decrement" + in);

            r = a;
            bigint_mul(r.data(), r.data(), b.data());
            mpz_mul(x.v, ma.v, mb.v);
            expect_result(r, to_words(x.v, w), 12, "mul in place" + in);

            bigint_mul(r.data(), a.data(), a.data());
            mpz_mul(x.v, ma.v, ma.v);
            expect_result(r, to_words(x.v, w), 12, "square" + in);

            bigint_mul_word(r.data(), a.data(), word);
            mpz_mul_ui(x.v, ma.v, word);
            expect_result(r, to_words(x.v, w), 12, "mul_word" + in);

            EXPECT_EQ(bigint_compare(a.data(), b.data()), (mpz_cmp(ma.v, mb.v) > 0) - (mpz_cmp(ma.v, mb.v) < 0)) << in;
            EXPECT_EQ(bigint_compare_word(a.data(), word), (mpz_cmp_ui(ma.v, word) > 0) - (mpz_cmp_ui(ma.v, word) < 0))
                << in;
            EXPECT_EQ(bigint_bit_length(a.data()), mpz_sgn(ma.v) == 0 ? 0u : mpz_sizeinbase(ma.v, 2)) << in;

            if (mpz_sgn(mb.v) != 0) {
                mpz_tdiv_qr(x.v, y.v, ma.v, mb.v);
                bigint_divmod(q.data(), m.data(), a.data(), b.data());
                expect_result(q, to_words(x.v, w), 0, "divmod q" + in);
                expect_result(m, to_words(y.v, w), 0, "divmod m" + in);
                r = a;
                EXPECT_EQ(bigint_div_exact(r.data(), r.data(), b.data()), mpz_sgn(y.v) == 0) << in;
                expect_result(r, to_words(x.v, w), 0, "div_exact in place" + in);
                r = b;
                bigint_mod(r.data(), a.data(), r.data());
                expect_result(r, to_words(y.v, w), 0, "mod into divisor" + in);
            }
            if (word != 0) {
                const uint64_t rem = mpz_tdiv_q_ui(x.v, ma.v, word);
                r = a;
                EXPECT_EQ(bigint_divmod_word(r.data(), r.data(), word), rem) << in;
                expect_result(r, to_words(x.v, w), 0, "divmod_word" + in);
            }
        }
    }
}

// Products that fit the width, at lengths on both sides of the Karatsuba crossover, of unequal lengths (a long
// factor is taken in blocks of the short one) and with words of all ones (the longest carries); squares and
// in-place products too.
TEST(BigIntRandom, LongProductsAgainstGmp) {
    std::mt19937_64 rng(20261207);
    const int kLengths[] = {1, 23, 24, 25, 31, 32, 47, 48, 49, 64, 65, 100, 128, 255, 256};
    for (int w : {129, 512}) {
        Context ctx(w);
        for (int it = 0; it < (w == 129 ? 300 : 80); ++it) {
            int na = kLengths[rng() % std::size(kLengths)];
            int nb = it % 3 == 0 ? na : kLengths[rng() % std::size(kLengths)];
            if (na + nb > w) nb = w - na;
            if (nb < 1) continue;
            Words a(w, 0), b(w, 0);
            const bool ones = it % 4 == 1;
            for (int i = 0; i < na; ++i) a[i] = ones ? ~0ull : rng();
            for (int i = 0; i < nb; ++i) b[i] = ones ? ~0ull : rng();
            a[na - 1] |= 1ull << 63;
            b[nb - 1] |= 1;
            const std::string in = " a=" + hex(a) + " b=" + hex(b) + " w=" + std::to_string(w);
            Mpz ma(a), mb(b), x;
            Words r(w);
            mpz_mul(x.v, ma.v, mb.v);
            bigint_mul(r.data(), a.data(), b.data());
            expect_result(r, to_words(x.v, w), 12, "mul" + in);
            r = b;
            bigint_mul(r.data(), a.data(), r.data());
            expect_result(r, to_words(x.v, w), 12, "mul into b" + in);
            if (2 * na <= w) {
                mpz_mul(x.v, ma.v, ma.v);
                r = a;
                bigint_mul(r.data(), r.data(), r.data());
                expect_result(r, to_words(x.v, w), 12, "square in place" + in);
            }
        }
    }
}

// Products and quotients at one and two words against unsigned __int128.
TEST(BigIntRandom, NarrowWidthsAgainstInt128) {
    std::mt19937_64 rng(128);
    for (int w : {1, 2}) {
        Context ctx(w);
        for (int it = 0; it < 20000; ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w), r(w), q(w), m(w);
            const u128 x = w == 1 ? a[0] : (static_cast<u128>(a[1]) << 64 | a[0]);
            const u128 y = w == 1 ? b[0] : (static_cast<u128>(b[1]) << 64 | b[0]);
            const u128 top = w == 1 ? (static_cast<u128>(1) << 64) - 1 : ~static_cast<u128>(0);
            auto value = [w](const Words& v) { return w == 1 ? v[0] : (static_cast<u128>(v[1]) << 64 | v[0]); };
            num_ctx.error_code = 0;
            bigint_mul(r.data(), a.data(), b.data());
            const bool overflow = x != 0 && y > top / x;
            EXPECT_EQ(num_ctx.error_code, overflow ? 12u : 0u) << hex(a) << " * " << hex(b);
            EXPECT_TRUE(value(r) == (overflow ? 0 : x * y)) << hex(a) << " * " << hex(b);
            num_ctx.error_code = 0;
            bigint_add(r.data(), a.data(), b.data());
            EXPECT_TRUE(value(r) == (x > top - y ? 0 : x + y)) << hex(a) << " + " << hex(b);
            if (y != 0) {
                num_ctx.error_code = 0;
                bigint_divmod(q.data(), m.data(), a.data(), b.data());
                EXPECT_TRUE(value(q) == x / y && value(m) == x % y) << hex(a) << " / " << hex(b);
                EXPECT_EQ(num_ctx.error_code, 0u);
            }
        }
    }
}

// Long division with divisors whose leading words are at or near 2^64 - 1 and dividends of structured words.
TEST(BigIntRandom, DivisionWithExtremeLeadingWords) {
    std::mt19937_64 rng(99);
    const uint64_t tops[] = {~0ull, ~0ull - 1, 1ull << 63, (1ull << 63) + 1, 1, 3};
    for (int w : {3, 8, 129, 512}) {
        Context ctx(w);
        for (int it = 0; it < (w == 512 ? 60 : 400); ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w);
            int nb = 2 + static_cast<int>(rng() % (w - 1));
            for (int i = nb; i < w; ++i) b[i] = 0;
            b[nb - 1] = tops[rng() % 6];
            if (rng() % 2) b[nb - 2] = ~0ull;
            Mpz ma(a), mb(b), x, y;
            mpz_tdiv_qr(x.v, y.v, ma.v, mb.v);
            Words q(w), m(w);
            bigint_divmod(q.data(), m.data(), a.data(), b.data());
            expect_result(q, to_words(x.v, w), 0, "q of " + hex(a) + " / " + hex(b));
            expect_result(m, to_words(y.v, w), 0, "m of " + hex(a) + " / " + hex(b));
        }
    }
}

TEST(BigIntRandom, RootsAgainstGmp) {
    std::mt19937_64 rng(31337);
    const int64_t ks[] = {2, 2, 3, 4, 5, 7, 64, 65, 300, 1000};  // 300 at 512 words: Newton steps with x^299
    for (int w : kWidths) {
        Context ctx(w);
        for (int it = 0; it < (w <= 8 ? 400 : (w == 129 ? 60 : 30)); ++it) {
            const int64_t k = ks[rng() % 10];
            Words a = random_value(rng, w);
            Mpz ma(a), root;
            if (it % 3 == 0) {  // perfect powers and their neighbours
                Words y = random_value(rng, w, static_cast<int>(1 + (w - 1) / k));
                Mpz my(y);
                mpz_pow_ui(ma.v, my.v, k);
                if (mpz_sizeinbase(ma.v, 2) > 64u * w) continue;
                if (it % 2 && mpz_sgn(ma.v) > 0) mpz_sub_ui(ma.v, ma.v, 1);
                a = to_words(ma.v, w);
            }
            const int exact = mpz_root(root.v, ma.v, k);
            Words r(w);
            num_ctx.error_code = 0;
            Words kw = word_value(w, static_cast<uint64_t>(k));
            const bool got = k == 2 && it % 2 ? bigint_isqrt(r.data(), a.data())
                             : it % 3 == 1    ? bigint_root(r.data(), a.data(), kw.data())
                                              : bigint_root_word(r.data(), a.data(), k);
            expect_result(r, to_words(root.v, w), 0, std::to_string(k) + "th root of " + hex(a));
            EXPECT_EQ(got, exact != 0) << k << "th root of " << hex(a);
        }
    }
}

TEST(BigIntRandom, PowersFactorialAndLogarithmsAgainstGmp) {
    std::mt19937_64 rng(4242);
    for (int w : kWidths) {
        Context ctx(w);
        const uint64_t bits = 64u * w;
        // 10^e and n! on both sides of the first value that does not fit
        uint64_t e10 = 0, nfac = 1;
        {
            Mpz t(1);
            while (mpz_sizeinbase(t.v, 2) <= bits) mpz_mul_ui(t.v, t.v, 10), ++e10;
            mpz_set_ui(t.v, 1);
            while (mpz_sizeinbase(t.v, 2) <= bits) mpz_mul_ui(t.v, t.v, ++nfac);
        }
        for (uint64_t e : {e10 - 2, e10 - 1, e10, e10 + 1, static_cast<uint64_t>(rng() % e10)}) {
            Mpz x;
            mpz_ui_pow_ui(x.v, 10, e);
            Words ew = word_value(w, e), r(w);
            num_ctx.error_code = 0;
            bigint_pow10(r.data(), ew.data());
            expect_result(r, to_words(x.v, w), 12, "10^" + std::to_string(e));
        }
        for (uint64_t n : {nfac - 1, nfac, nfac + 1, static_cast<uint64_t>(rng() % nfac)}) {
            Mpz x;
            mpz_fac_ui(x.v, n);
            Words nw = word_value(w, n), r(w);
            num_ctx.error_code = 0;
            bigint_factorial(r.data(), nw.data());
            expect_result(r, to_words(x.v, w), 12, std::to_string(n) + "!");
        }
        for (int it = 0; it < (w <= 8 ? 300 : 30); ++it) {
            Words a = random_value(rng, w, 1 + static_cast<int>(rng() % (w <= 8 ? w : 8)));
            Mpz ma(a), x;
            // exponents around the overflow bound of a^n
            const uint64_t ab = mpz_sgn(ma.v) ? mpz_sizeinbase(ma.v, 2) : 1;
            const int64_t n = static_cast<int64_t>(rng() % (bits / ab + 2));
            Words r(w), nw = word_value(w, static_cast<uint64_t>(n));
            mpz_pow_ui(x.v, ma.v, static_cast<unsigned long>(n));
            num_ctx.error_code = 0;
            bigint_pow(r.data(), a.data(), nw.data());
            expect_result(r, to_words(x.v, w), 12, hex(a) + "^" + std::to_string(n));
            // logarithm of a random value in a random base
            Words x2 = random_value(rng, w), base = random_value(rng, w, 1 + static_cast<int>(rng() % 2));
            if (rng() % 2) base = word_value(w, 3 + rng() % 20);
            Mpz mx(x2), mbase(base), t;
            if (mpz_sgn(mx.v) == 0 || mpz_cmp_ui(mbase.v, 2) < 0) continue;
            uint64_t count = 0;
            bool exact = true;
            mpz_set(t.v, mx.v);
            while (mpz_cmp(t.v, mbase.v) >= 0) {
                Mpz rem;
                mpz_tdiv_qr(t.v, rem.v, t.v, mbase.v);
                exact = exact && mpz_sgn(rem.v) == 0;
                ++count;
            }
            exact = exact && mpz_cmp_ui(t.v, 1) == 0;
            num_ctx.error_code = 0;
            const bool got = bigint_log(r.data(), x2.data(), base.data());
            expect_result(r, word_value(w, count), 0, "log_" + hex(base) + " " + hex(x2));
            EXPECT_EQ(got, exact) << "log_" << hex(base) << " " << hex(x2);
        }
    }
}

TEST(BigIntRandom, GcdAndModularInverseAgainstGmp) {
    std::mt19937_64 rng(555);
    for (int w : kWidths) {
        Context ctx(w);
        for (int it = 0; it < (w <= 8 ? 400 : (w == 129 ? 20 : 3)); ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w);
            if (it % 4 == 0) {  // a common factor
                Words f = random_value(rng, w, (w + 2) / 3);
                Mpz mf(f), ma(a), mb(b);
                mpz_mul(ma.v, ma.v, mf.v);
                mpz_mul(mb.v, mb.v, mf.v);
                if (mpz_sizeinbase(ma.v, 2) <= 64u * w) a = to_words(ma.v, w);
                if (mpz_sizeinbase(mb.v, 2) <= 64u * w) b = to_words(mb.v, w);
            }
            Mpz ma(a), mb(b), g;
            const std::string in = " a=" + hex(a) + " b=" + hex(b);
            Words r(w);
            num_ctx.error_code = 0;
            bigint_gcd(r.data(), a.data(), b.data());
            mpz_gcd(g.v, ma.v, mb.v);
            const bool zero = mpz_sgn(ma.v) == 0 || mpz_sgn(mb.v) == 0;
            expect_result(r, zero ? Words{} : to_words(g.v, w), 12, "gcd" + in);

            r = a;
            bigint_modinv(r.data(), r.data(), b.data());
            Mpz inv;
            uint32_t code = 0;
            if (mpz_sgn(ma.v) == 0) {
                code = 13;
            } else if (mpz_cmp_ui(mb.v, 2) < 0) {
                code = 14;
            } else if (mpz_cmp_ui(ma.v, 1) == 0) {
                mpz_set_ui(inv.v, 1);
            } else if (mpz_invert(inv.v, ma.v, mb.v) == 0) {
                code = 12;
            }
            expect_result(r, code ? Words{} : to_words(inv.v, w), code, "modinv" + in);
        }
    }
}

// The square-and-multiply rule at width W, transcribed on GMP integers: each product t*t and t*a is checked
// against 2^(64W) before it is reduced.
bool powmod_rule(mpz_t out, const mpz_t a, const mpz_t e, const mpz_t m, int w) {
    Mpz t(1), limit;
    mpz_ui_pow_ui(limit.v, 2, 64 * w);
    for (long i = static_cast<long>(mpz_sizeinbase(e, 2)) - 1; i >= 0; --i) {
        mpz_mul(t.v, t.v, t.v);
        if (mpz_cmp(t.v, limit.v) >= 0) return false;
        mpz_mod(t.v, t.v, m);
        if (mpz_tstbit(e, i)) {
            mpz_mul(t.v, t.v, a);
            if (mpz_cmp(t.v, limit.v) >= 0) return false;
            mpz_mod(t.v, t.v, m);
        }
    }
    mpz_set(out, t.v);
    return true;
}

TEST(BigIntRandom, ModularPowerAgainstGmp) {
    std::mt19937_64 rng(2718);
    for (int w : kWidths) {
        Context ctx(w);
        for (int it = 0; it < (w <= 8 ? 600 : (w == 129 ? 40 : 6)); ++it) {
            // moduli of up to half the width take the fast route, longer ones the rule at width W
            const int mwords = it % 3 == 0 ? w : (w + 1) / 2;
            Words m = random_value(rng, w, mwords), a = random_value(rng, w, it % 5 == 0 ? w : mwords);
            Words e = random_value(rng, w, w <= 8 ? w : 2);
            if (it % 2)
                m[0] |= 1;
            else
                m[0] &= ~1ull;
            if (mpz_sgn(Mpz(m).v) == 0) m[0] = 2;
            Mpz ma(a), me(e), mm(m), expect;
            const std::string in = " a=" + hex(a) + " e=" + hex(e) + " m=" + hex(m) + " w=" + std::to_string(w);
            bool fits = true;
            if (mpz_sgn(me.v) == 0) {
                mpz_set_ui(expect.v, mpz_cmp_ui(mm.v, 1) == 0 ? 0 : 1);
            } else {
                fits = powmod_rule(expect.v, ma.v, me.v, mm.v, w);
                if (fits) {
                    Mpz check;
                    mpz_powm(check.v, ma.v, me.v, mm.v);
                    ASSERT_EQ(mpz_cmp(check.v, expect.v), 0) << "oracle disagrees with itself" << in;
                }
            }
            Words r = it % 4 == 1 ? m : Words(w, 5);
            num_ctx.error_code = 0;
            bigint_powmod(r.data(), a.data(), e.data(), it % 4 == 1 ? r.data() : m.data());
            expect_result(r, fits ? to_words(expect.v, w) : Words{}, 12, "powmod" + in);
        }
    }
}

// Full-length exponent at the prime module's width: a 1000-digit odd modulus and an exponent as long.
TEST(BigIntRandom, ModularPowerFullLengthExponent) {
    std::mt19937_64 rng(1000);
    Context ctx(129);
    for (int it = 0; it < 3; ++it) {
        Words m(129, 0), a(129, 0), e(129, 0);
        for (int i = 0; i < 52; ++i) m[i] = rng(), a[i] = rng(), e[i] = rng();
        m[0] |= 1;
        if (it == 2) m[0] &= ~1ull;  // even modulus
        Mpz ma(a), me(e), mm(m), expect;
        mpz_powm(expect.v, ma.v, me.v, mm.v);
        Words r(129);
        bigint_powmod(r.data(), a.data(), e.data(), m.data());
        expect_result(r, to_words(expect.v, 129), 0, "powmod m=" + hex(m));
    }
}

}  // namespace
