// BigInt: the edge rules as tables, and randomised differential tests against GMP at the widths 1, 2, 3, 8, 129 and
// 512 words. Every call must leave the scratch top where it found it.
#include "integer/bigint.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"

namespace {

using Rng = std::mt19937_64;
using Words = std::vector<uint64_t>;

constexpr int kWidths[] = {1, 2, 3, 8, 129, 512};

mpz_class Z(const Words& w) {
    mpz_class v;
    mpz_import(v.get_mpz_t(), w.size(), -1, 8, 0, 0, w.data());
    return v;
}

// x as w words, or an empty vector when x is negative or does not fit.
Words W(const mpz_class& x, int w) {
    if (x < 0 || (x != 0 && mpz_sizeinbase(x.get_mpz_t(), 2) > 64u * w)) return {};
    Words out(w, 0);
    mpz_export(out.data(), nullptr, -1, 8, 0, 0, x.get_mpz_t());
    return out;
}

std::string hex(const Words& w) {
    return "0x" + Z(w).get_str(16);
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

// Operands with a random significant length and words drawn from edge patterns, so that leading-zero skipping,
// carries across all words and the boundaries of the width are all reached.
Words random_value(Rng& rng, int w, int max_words = -1) {
    if (max_words < 0 || max_words > w) max_words = w;
    Words out(w, 0);
    const int n = (rng() % 4 == 0) ? max_words : static_cast<int>(rng() % (max_words + 1));
    const int style = static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        const int s = style == 5 ? static_cast<int>(rng() % 5) : style;
        out[i] = s <= 1 ? rng() : s == 2 ? ~0ull - rng() % 3 : s == 3 ? (rng() % 2 ? 1ull << 63 : 0) : rng() % 4;
    }
    if (n > 0 && out[n - 1] == 0) out[n - 1] = 1 + rng() % 0xffff;
    return out;
}

// got and the error code against the oracle's value x; an x that is negative or does not fit the width means
// error `code` and zero. Clears the code for the next operation.
void expect_value(const Words& got, const mpz_class& x, uint32_t code, const std::string& what) {
    const Words want = W(x, static_cast<int>(got.size()));
    EXPECT_EQ(num_ctx.error_code, want.empty() ? code : 0u) << what;
    EXPECT_EQ(hex(got), want.empty() ? "0x0" : hex(want)) << what;
    num_ctx.error_code = 0;
}

// ---- Edge cases ------------------------------------------------------------------------------------------------

// (2^(32W) - 1)(2^(32W) + 1) = 2^(64W) - 1 fits; 2^(64W) does not, whichever operation reaches it.
TEST(BigIntEdges, OverflowAtTheWidthBoundary) {
    for (int w : kWidths) {
        Context ctx(w);
        const mpz_class top = mpz_class(1) << (64 * w), half = mpz_class(1) << (32 * w);
        const Words max = W(top - 1, w), one = W(1, w), zero = W(0, w);
        const Words lo = W(half - 1, w), hi = W(half + 1, w), mid = W(half, w);
        const std::string at = " at w=" + std::to_string(w);
        Words r(w);
        bigint_add(r.data(), max.data(), one.data());
        expect_value(r, top, 12, "max + 1" + at);
        bigint_add_word(r.data(), max.data(), 1);
        expect_value(r, top, 12, "max +w 1" + at);
        bigint_sub(r.data(), zero.data(), one.data());
        expect_value(r, -1, 12, "0 - 1" + at);
        bigint_decrement(r.data(), zero.data());
        expect_value(r, -1, 12, "decrement 0" + at);
        bigint_decrement(r.data(), one.data());
        expect_value(r, 0, 12, "decrement 1" + at);
        bigint_mul_word(r.data(), max.data(), 2);
        expect_value(r, 2 * top - 2, 12, "max * 2" + at);
        bigint_mul(r.data(), lo.data(), hi.data());
        expect_value(r, top - 1, 12, "(2^32W - 1)(2^32W + 1)" + at);
        bigint_mul(r.data(), mid.data(), mid.data());
        expect_value(r, top, 12, "2^32W squared" + at);
        EXPECT_FALSE(bigint_isqrt(r.data(), max.data())) << at;
        expect_value(r, half - 1, 12, "isqrt(max)" + at);
    }
}

// Exponents of 2^63 and more and the other special exponents of the powers and roots.
TEST(BigIntEdges, SpecialExponents) {
    Context ctx(2);
    const Words zero = W(0, 2), one = W(1, 2), five = W(5, 2), huge = {0, 1}, big_k = {1ull << 63, 0};
    Words r(2);
    bigint_pow_word(r.data(), zero.data(), 0);
    expect_value(r, 1, 0, "0^0");
    bigint_pow_word(r.data(), five.data(), -1);
    expect_value(r, -1, 14, "5^-1");
    bigint_pow(r.data(), one.data(), huge.data());
    expect_value(r, 1, 0, "1^(2^64)");
    bigint_pow(r.data(), zero.data(), huge.data());
    expect_value(r, 0, 0, "0^(2^64)");
    bigint_pow(r.data(), five.data(), huge.data());
    expect_value(r, -1, 12, "5^(2^64)");
    EXPECT_FALSE(bigint_root(r.data(), five.data(), big_k.data()));
    expect_value(r, 1, 0, "5 root 2^63");
    EXPECT_TRUE(bigint_root(r.data(), zero.data(), big_k.data()));
    expect_value(r, 0, 0, "0 root 2^63");
    EXPECT_FALSE(bigint_root_word(r.data(), five.data(), 0));
    expect_value(r, -1, 14, "0th root");
}

// At one word the products t*t of the modular power overflow as soon as t reaches 2^32, and t*a whenever
// t*a >= 2^64.
TEST(BigIntEdges, ModularPowerOverflowRule) {
    const struct {
        uint64_t a, e, m, result;
        uint32_t error;
    } rows[] = {
        {3, 200, 1ull << 31, 720941217, 0},
        {3, 200, 1ull << 32, 2868424865, 0},
        {3, 200, 1ull << 40, 0, 12},
        {~0ull, 2, 10, 5, 0},
        {~0ull, 3, 10, 0, 12},
        {5, 3, 0, 0, 13},
    };
    Context ctx(1);
    for (const auto& c : rows) {
        Words a = {c.a}, e = {c.e}, m = {c.m}, r = {99};
        bigint_powmod(r.data(), a.data(), e.data(), m.data());
        expect_value(r, c.error ? mpz_class(-1) : mpz_class(c.result), c.error,
                     std::to_string(c.a) + "^" + std::to_string(c.e) + " mod " + std::to_string(c.m));
    }
}

TEST(BigIntEdges, DivisionByZeroBitsAndWordConversions) {
    Context ctx(2);
    Words a = {5, 6}, zero(2, 0), q(2, 9), m(2, 9);
    bigint_divmod(q.data(), m.data(), a.data(), zero.data());
    EXPECT_EQ(hex(m), "0x0");
    expect_value(q, -1, 13, "divmod by 0");
    EXPECT_EQ(bigint_divmod_word(q.data(), a.data(), 0), 0u);
    expect_value(q, -1, 13, "divmod_word by 0");

    Words b = {0, 0};
    bigint_set_bit(b.data(), 127, true);
    EXPECT_EQ(bigint_test_bit(b.data(), 127), 1);
    EXPECT_EQ(bigint_bit_length(b.data()), 128u);
    bigint_set_bit(b.data(), 128, true);
    EXPECT_EQ(num_ctx.error_code, 14u) << "bit 128 at w=2";
    EXPECT_EQ(hex(b), "0x80000000000000000000000000000000") << "unchanged";
    num_ctx.error_code = 0;
    EXPECT_EQ(bigint_test_bit(b.data(), 200), 0);
    EXPECT_EQ(num_ctx.error_code, 14u);
    num_ctx.error_code = 0;
    int64_t i64;
    uint64_t u64;
    EXPECT_FALSE(bigint_to_int64(&i64, b.data(), true));
    EXPECT_EQ(num_ctx.error_code, 0u) << "quiet";
    EXPECT_FALSE(bigint_to_uint64(&u64, b.data(), false));
    EXPECT_EQ(num_ctx.error_code, 14u);
    EXPECT_EQ(bigint_compare_word(b.data(), 0), 1) << "upper word decides";
    EXPECT_FALSE(bigint_is_one(b.data()));
    num_ctx.error_code = 0;
    Words c = {1ull << 63, 0};
    EXPECT_FALSE(bigint_to_int64(&i64, c.data(), true));
    EXPECT_TRUE(bigint_to_uint64(&u64, c.data(), false));
    EXPECT_EQ(u64, 1ull << 63);
    c[0] -= 1;
    EXPECT_TRUE(bigint_to_int64(&i64, c.data(), false));
    EXPECT_EQ(i64, INT64_MAX);
}

// A pending code survives every isolated operation, also one that raises its own; without one the operation's own
// code stays. A non-isolated operation: first error wins, the result is still zero.
TEST(BigIntEdges, IsolatedOperationsKeepThePendingCode) {
    Context ctx(1);
    Words max = {~0ull}, r(1), big_e = {100}, ten = {10};
    num_ctx.error_code = 21;
    bigint_pow_word(r.data(), max.data(), 2);
    EXPECT_EQ(r[0], 0u) << "overflow still yields zero";
    bigint_pow10(r.data(), big_e.data());
    EXPECT_EQ(r[0], 0u);
    bigint_factorial(r.data(), big_e.data());
    EXPECT_EQ(r[0], 0u);
    EXPECT_TRUE(bigint_isqrt(r.data(), big_e.data()));
    EXPECT_EQ(r[0], 10u);
    bigint_pow_word(r.data(), ten.data(), 3);
    EXPECT_EQ(r[0], 1000u) << "a pending code does not disturb the computation";
    EXPECT_EQ(num_ctx.error_code, 21u);
    num_ctx.error_code = 0;
    bigint_pow_word(r.data(), max.data(), 2);
    EXPECT_EQ(num_ctx.error_code, 12u);
    num_ctx.error_code = 13;
    bigint_add(r.data(), max.data(), max.data());
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(r[0], 0u);
}

// The add-back step of the long division: v has its top bit set and a non-zero low part, u = q * (top two words of
// v) * 2^(64 (nv - 2 + s)). The estimate from the top words is exactly q and passes the second-word test, while the
// true quotient word is q - 1.
TEST(BigIntDivision, AddBackCase) {
    Rng rng(7);
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
            const mpz_class u = (((mpz_class(v[nv - 1]) << 64) + v[nv - 2]) * q) << (64 * (nv - 2 + s));
            const mpz_class want_q = u / Z(v);
            ASSERT_TRUE(want_q >> (64 * s) == q - 1) << "construction at w=" << w;
            Words uw = W(u, w), qr(w), mr(w);
            bigint_divmod(qr.data(), mr.data(), uw.data(), v.data());
            expect_value(qr, want_q, 0, "q of " + hex(uw) + " / " + hex(v));
            expect_value(mr, u % Z(v), 0, "m of " + hex(uw) + " / " + hex(v));
        }
    }
}

// ---- Randomised differential tests against GMP -----------------------------------------------------------------

// Every binary operation with its overflow or zero-divisor rule, out of place and in place. Some sums are steered
// onto 2^(64W) - 1 and 2^(64W), and some divisors get leading words at or near 2^64 - 1 and 2^63, the extremes of
// the quotient estimate.
TEST(BigIntRandom, ArithmeticAgainstGmp) {
    Rng rng(20261206);
    const uint64_t tops[] = {~0ull, ~0ull - 1, 1ull << 63, (1ull << 63) + 1, 1, 3};
    for (int w : kWidths) {
        Context ctx(w);
        const mpz_class top = mpz_class(1) << (64 * w);
        for (int it = 0; it < (w <= 2 ? 8000 : w <= 8 ? 1500 : w == 129 ? 300 : 60); ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w);
            const mpz_class za = Z(a);
            const int k = (it / 7) % 2;
            if (it % 7 == 0 && za >= k) {
                b = W(top - 1 + k - za, w);
            } else if (it % 3 == 1 && w >= 3) {
                const int nb = 2 + static_cast<int>(rng() % (w - 1));
                std::fill(b.begin() + nb, b.end(), 0);
                b[nb - 1] = tops[rng() % std::size(tops)];
                if (rng() % 2) b[nb - 2] = ~0ull;
            }
            const uint64_t word = random_value(rng, 1)[0];
            const std::string in =
                " a=" + hex(a) + " b=" + hex(b) + " word=" + std::to_string(word) + " w=" + std::to_string(w);
            const mpz_class zb = Z(b);
            Words r(w), q(w), m(w);

            bigint_add(r.data(), a.data(), b.data());
            expect_value(r, za + zb, 12, "add" + in);
            r = a;
            bigint_add_word(r.data(), r.data(), word);
            expect_value(r, za + word, 12, "add_word in place" + in);
            bigint_sub(r.data(), a.data(), b.data());
            expect_value(r, za - zb, 12, "sub" + in);
            bigint_decrement(r.data(), a.data());
            expect_value(r, za - 1, 12, "decrement" + in);
            r = a;
            bigint_mul(r.data(), r.data(), b.data());
            expect_value(r, za * zb, 12, "mul in place" + in);
            bigint_mul(r.data(), a.data(), a.data());
            expect_value(r, za * za, 12, "square" + in);
            bigint_mul_word(r.data(), a.data(), word);
            expect_value(r, za * word, 12, "mul_word" + in);

            EXPECT_EQ(bigint_compare(a.data(), b.data()), sgn(za - zb)) << in;
            EXPECT_EQ(bigint_compare_word(a.data(), word), sgn(za - word)) << in;
            EXPECT_EQ(bigint_bit_length(a.data()), za == 0 ? 0u : mpz_sizeinbase(za.get_mpz_t(), 2)) << in;

            if (zb != 0) {
                bigint_divmod(q.data(), m.data(), a.data(), b.data());
                expect_value(q, za / zb, 0, "divmod q" + in);
                expect_value(m, za % zb, 0, "divmod m" + in);
                r = a;
                EXPECT_EQ(bigint_div_exact(r.data(), r.data(), b.data()), za % zb == 0) << in;
                expect_value(r, za / zb, 0, "div_exact in place" + in);
                r = b;
                bigint_mod(r.data(), a.data(), r.data());
                expect_value(r, za % zb, 0, "mod into divisor" + in);
            }
            if (word != 0) {
                r = a;
                EXPECT_EQ(bigint_divmod_word(r.data(), r.data(), word), mpz_class(za % word).get_ui()) << in;
                expect_value(r, za / word, 0, "divmod_word" + in);
            }
        }
    }
}

// Products that fit the width, at lengths on both sides of the Karatsuba crossover (24 words), of unequal lengths
// (a long factor is taken in blocks of the short one) and with words of all ones (the longest carries).
TEST(BigIntRandom, LongProductsAgainstGmp) {
    Rng rng(20261207);
    const int kLengths[] = {1, 23, 24, 25, 31, 32, 47, 48, 49, 64, 65, 100, 128, 255, 256};
    for (int w : {129, 512}) {
        Context ctx(w);
        for (int it = 0; it < (w == 129 ? 300 : 80); ++it) {
            const int na = kLengths[rng() % std::size(kLengths)];
            int nb = it % 3 == 0 ? na : kLengths[rng() % std::size(kLengths)];
            if (na + nb > w) nb = w - na;
            if (nb < 1) continue;
            Words a(w, 0), b(w, 0);
            for (int i = 0; i < na; ++i) a[i] = it % 4 == 1 ? ~0ull : rng();
            for (int i = 0; i < nb; ++i) b[i] = it % 4 == 1 ? ~0ull : rng();
            a[na - 1] |= 1ull << 63;
            b[nb - 1] |= 1;
            const std::string in = " a=" + hex(a) + " b=" + hex(b) + " w=" + std::to_string(w);
            Words r(w);
            bigint_mul(r.data(), a.data(), b.data());
            expect_value(r, Z(a) * Z(b), 12, "mul" + in);
            r = b;
            bigint_mul(r.data(), a.data(), r.data());
            expect_value(r, Z(a) * Z(b), 12, "mul into b" + in);
            if (2 * na > w) continue;
            r = a;
            bigint_mul(r.data(), r.data(), r.data());
            expect_value(r, Z(a) * Z(a), 12, "square in place" + in);
        }
    }
}

TEST(BigIntRandom, RootsAgainstGmp) {
    Rng rng(31337);
    const int64_t ks[] = {1, 2, 2, 3, 4, 5, 7, 63, 64, 65, 300, 1000};  // 300 at 512 words: Newton steps with x^299
    for (int w : kWidths) {
        Context ctx(w);
        for (int it = 0; it < (w <= 8 ? 400 : (w == 129 ? 60 : 30)); ++it) {
            const int64_t k = ks[rng() % std::size(ks)];
            Words a = random_value(rng, w);
            if (it % 3 == 0) {  // perfect powers and their neighbours
                mpz_class p;
                mpz_pow_ui(p.get_mpz_t(), Z(random_value(rng, w, static_cast<int>(1 + (w - 1) / k))).get_mpz_t(), k);
                if (it % 2 && p > 0) p -= 1;
                if (W(p, w).empty()) continue;
                a = W(p, w);
            }
            mpz_class root;
            const bool exact = mpz_root(root.get_mpz_t(), Z(a).get_mpz_t(), k) != 0;
            Words r(w), kw = W(k, w);
            const bool got = k == 2 && it % 2 ? bigint_isqrt(r.data(), a.data())
                             : it % 3 == 1    ? bigint_root(r.data(), a.data(), kw.data())
                                              : bigint_root_word(r.data(), a.data(), k);
            EXPECT_EQ(got, exact) << k << "th root of " << hex(a);
            expect_value(r, root, 0, std::to_string(k) + "th root of " + hex(a));
        }
    }
}

// 2^e, 10^e and n! on both sides of the first value that does not fit; a^n with n around the overflow bound;
// logarithms (x = 0 or b < 2: error 12).
TEST(BigIntRandom, PowersFactorialAndLogarithmsAgainstGmp) {
    Rng rng(4242);
    for (int w : kWidths) {
        Context ctx(w);
        const uint64_t bits = 64u * w;
        uint64_t e10 = 0, nfac = 1;
        for (mpz_class t = 1; mpz_sizeinbase(t.get_mpz_t(), 2) <= bits; t *= 10) ++e10;
        for (mpz_class t = 1; mpz_sizeinbase(t.get_mpz_t(), 2) <= bits;) t *= ++nfac;
        Words r(w);
        for (uint64_t e : {bits - 1, bits}) {
            Words ew = W(e, w);
            bigint_pow2(r.data(), ew.data());
            expect_value(r, mpz_class(1) << e, 12, "2^" + std::to_string(e));
        }
        for (uint64_t e : {e10 - 2, e10 - 1, e10, e10 + 1, static_cast<uint64_t>(rng() % e10)}) {
            mpz_class x;
            mpz_ui_pow_ui(x.get_mpz_t(), 10, e);
            Words ew = W(e, w);
            bigint_pow10(r.data(), ew.data());
            expect_value(r, x, 12, "10^" + std::to_string(e));
        }
        for (uint64_t n : {nfac - 1, nfac, nfac + 1, static_cast<uint64_t>(rng() % nfac)}) {
            mpz_class x;
            mpz_fac_ui(x.get_mpz_t(), n);
            Words nw = W(n, w);
            bigint_factorial(r.data(), nw.data());
            expect_value(r, x, 12, std::to_string(n) + "!");
        }
        for (int it = 0; it < (w <= 8 ? 300 : 30); ++it) {
            Words a = random_value(rng, w, 1 + static_cast<int>(rng() % (w <= 8 ? w : 8)));
            const mpz_class za = Z(a);
            const uint64_t n = rng() % (bits / (za != 0 ? mpz_sizeinbase(za.get_mpz_t(), 2) : 1) + 2);
            mpz_class x;
            mpz_pow_ui(x.get_mpz_t(), za.get_mpz_t(), n);
            Words nw = W(n, w);
            bigint_pow(r.data(), a.data(), nw.data());
            expect_value(r, x, 12, hex(a) + "^" + std::to_string(n));

            // log_b x in random bases and in 2, 10 and small ones, often of exact powers and their neighbours.
            Words xw = random_value(rng, w), base = random_value(rng, w, 1 + static_cast<int>(rng() % 2));
            const uint64_t kind = rng() % 4;  // 1: bigint_log2, 2: bigint_log10
            if (kind > 0) base = W(kind == 1 ? 2 : kind == 2 ? 10 : 3 + rng() % 20, w);
            const mpz_class zb = Z(base);
            if (zb >= 2 && rng() % 2) {
                mpz_class p;
                const double top = static_cast<double>(bits) / std::log2(zb.get_d());  // the largest power fits
                mpz_pow_ui(p.get_mpz_t(), zb.get_mpz_t(), rng() % (static_cast<uint64_t>(top) + 1));
                while (W(p, w).empty()) p /= zb;
                const mpz_class near = p + static_cast<long>(rng() % 3) - 1;
                xw = W(near, w).empty() ? W(p, w) : W(near, w);
            }
            const mpz_class zx = Z(xw);
            const bool valid = zx != 0 && zb >= 2;  // else error 12
            uint64_t count = 0;                     // the largest c with b^c <= x
            mpz_class power = 1;
            if (valid) {
                count = static_cast<uint64_t>(static_cast<double>(mpz_sizeinbase(zx.get_mpz_t(), 2) - 1) /
                                              std::log2(zb.get_d()));
                mpz_pow_ui(power.get_mpz_t(), zb.get_mpz_t(), count);
                for (; power > zx; --count) power /= zb;
                for (; power * zb <= zx; ++count) power *= zb;
            }
            const bool got = kind == 1   ? bigint_log2(r.data(), xw.data())
                             : kind == 2 ? bigint_log10(r.data(), xw.data())
                                         : bigint_log(r.data(), xw.data(), base.data());
            const std::string what = "log_" + hex(base) + " " + hex(xw);
            EXPECT_EQ(got, valid && power == zx) << what;
            expect_value(r, valid ? mpz_class(count) : mpz_class(-1), 12, what);
        }
    }
}

TEST(BigIntRandom, GcdAndModularInverseAgainstGmp) {
    Rng rng(555);
    for (int w : kWidths) {
        Context ctx(w);
        for (int it = 0; it < (w <= 8 ? 400 : (w == 129 ? 20 : 3)); ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w);
            if (it % 4 == 0) {  // a common factor
                const mpz_class f = Z(random_value(rng, w, (w + 2) / 3));
                if (!W(Z(a) * f, w).empty()) a = W(Z(a) * f, w);
                if (!W(Z(b) * f, w).empty()) b = W(Z(b) * f, w);
            }
            const mpz_class za = Z(a), zb = Z(b);
            const std::string in = " a=" + hex(a) + " b=" + hex(b);
            Words r(w);
            bigint_gcd(r.data(), a.data(), b.data());
            expect_value(r, za == 0 || zb == 0 ? mpz_class(-1) : gcd(za, zb), 12, "gcd" + in);

            r = a;
            bigint_modinv(r.data(), r.data(), b.data());
            mpz_class inv = 1;
            const uint32_t code = za == 0                                                            ? 13
                                  : zb < 2                                                           ? 14
                                  : za == 1                                                          ? 0
                                  : mpz_invert(inv.get_mpz_t(), za.get_mpz_t(), zb.get_mpz_t()) == 0 ? 12
                                                                                                     : 0;
            expect_value(r, code ? mpz_class(-1) : inv, code, "modinv" + in);
        }
    }
}

// The square-and-multiply rule at width W, transcribed on GMP integers: each product t*t and t*a is checked
// against 2^(64W) before it is reduced; -1 when one reaches it.
mpz_class powmod_rule(const mpz_class& a, const mpz_class& e, const mpz_class& m, int w) {
    const mpz_class limit = mpz_class(1) << (64 * w);
    mpz_class t = 1;
    for (long i = static_cast<long>(mpz_sizeinbase(e.get_mpz_t(), 2)) - 1; i >= 0; --i) {
        t *= t;
        if (t >= limit) return -1;
        t %= m;
        if (mpz_tstbit(e.get_mpz_t(), i)) {
            t *= a;
            if (t >= limit) return -1;
            t %= m;
        }
    }
    return t;
}

// Moduli of up to half the width take the fast route, longer ones the rule at width W. The first rows at 129 words
// are the prime module's case: a 1000-digit modulus (odd, then even) and an exponent as long.
TEST(BigIntRandom, ModularPowerAgainstGmp) {
    Rng rng(2718);
    for (int w : kWidths) {
        Context ctx(w);
        for (int it = 0; it < (w <= 8 ? 600 : (w == 129 ? 40 : 6)); ++it) {
            const int mwords = it % 3 == 0 ? w : (w + 1) / 2;
            Words m = random_value(rng, w, mwords), a = random_value(rng, w, it % 5 == 0 ? w : mwords);
            Words e = random_value(rng, w, w <= 8 ? w : 2);
            if (w == 129 && it < 3) {
                m.assign(w, 0), a.assign(w, 0), e.assign(w, 0);
                for (int i = 0; i < 52; ++i) m[i] = rng(), a[i] = rng(), e[i] = rng();
            }
            m[0] = it % 2 ? m[0] | 1 : m[0] & ~1ull;
            if (Z(m) == 0) m[0] = 2;
            const mpz_class za = Z(a), ze = Z(e), zm = Z(m);
            const std::string in = " a=" + hex(a) + " e=" + hex(e) + " m=" + hex(m) + " w=" + std::to_string(w);
            mpz_class want = ze == 0 ? mpz_class(zm == 1 ? 0 : 1) : powmod_rule(za, ze, zm, w);
            if (want >= 0 && ze != 0) {
                mpz_class check;
                mpz_powm(check.get_mpz_t(), za.get_mpz_t(), ze.get_mpz_t(), zm.get_mpz_t());
                ASSERT_TRUE(check == want) << "oracle disagrees with itself" << in;
            }
            Words r = it % 4 == 1 ? m : Words(w, 5);
            bigint_powmod(r.data(), a.data(), e.data(), it % 4 == 1 ? r.data() : m.data());
            expect_value(r, want, 12, "powmod" + in);
        }
    }
}

}  // namespace
