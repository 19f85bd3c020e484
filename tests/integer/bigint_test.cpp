// BigInt: the edge rules as tables, and randomised differential tests against GMP at the widths 1, 2, 24 (the
// Karatsuba crossover), 129 and 512 words. Every call must leave the scratch top where it found it.
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
#include "support/gmp_words.h"

namespace {

using Rng = std::mt19937_64;
constexpr int kWidths[] = {1, 2, 24, 129, 512};

int iterations(int w, int narrow, int w24, int w129, int w512) {
    return w <= 2 ? narrow : w == 24 ? w24 : w == 129 ? w129 : w512;
}

std::string hex(const Words& w) {
    return "0x" + Z(w).get_str(16);
}

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

const uint64_t* arg(const Words& w) {
    return w.data();
}
template <typename T>
T arg(T v) {
    return v;
}

// fn(r, args...) into a fresh result of the current width; Words arguments are passed as their words.
template <typename Fn, typename... Args>
Words call(Fn fn, const Args&... args) {
    Words r(static_cast<size_t>(num_ctx.int_limbs), 5);
    fn(r.data(), arg(args)...);
    return r;
}

// got and the error code against the oracle's value x; an x that is negative or does not fit the width means
// error `code` and zero. Clears the code for the next operation.
void expect_value(const Words& got, const mpz_class& x, uint32_t code, const std::string& what) {
    const Words want = W(x, got.size());
    EXPECT_EQ(num_ctx.error_code, want.empty() ? code : 0u) << what;
    EXPECT_EQ(hex(got), want.empty() ? "0x0" : hex(want)) << what;
    num_ctx.error_code = 0;
}

// ---- Edge cases ------------------------------------------------------------------------------------------------

// (2^(32W) - 1)(2^(32W) + 1) = 2^(64W) - 1 fits; 2^(64W) does not, whichever operation reaches it.
TEST(BigIntEdges, OverflowAtTheWidthBoundary) {
    for (int w : kWidths) {
        IntScope scope(w);
        const mpz_class top = mpz_class(1) << (64 * w), half = mpz_class(1) << (32 * w);
        const Words max = W(top - 1, w), one = W(1, w), zero = W(0, w);
        const Words lo = W(half - 1, w), hi = W(half + 1, w), mid = W(half, w);
        const std::string at = " at w=" + std::to_string(w);
        expect_value(call(bigint_add, max, one), top, 12, "max + 1" + at);
        expect_value(call(bigint_add_word, max, 1ull), top, 12, "max +w 1" + at);
        expect_value(call(bigint_sub, zero, one), -1, 12, "0 - 1" + at);
        expect_value(call(bigint_decrement, zero), -1, 12, "decrement 0" + at);
        expect_value(call(bigint_mul_word, max, 2ull), 2 * top - 2, 12, "max * 2" + at);
        expect_value(call(bigint_mul, lo, hi), top - 1, 12, "(2^32W - 1)(2^32W + 1)" + at);
        expect_value(call(bigint_mul, mid, mid), top, 12, "2^32W squared" + at);
        expect_value(call(bigint_isqrt, max), half - 1, 12, "isqrt(max)" + at);
    }
}

// Exponents of 2^63 and more, the other special exponents of the powers and roots, and the zero divisors.
TEST(BigIntEdges, SpecialExponentsAndZeroDivisors) {
    IntScope scope(2);
    const Words zero = W(0, 2), one = W(1, 2), five = W(5, 2), huge = {0, 1}, big_k = {1ull << 63, 0};
    Words r(2), m(2, 9);
    expect_value(call(bigint_pow_word, zero, int64_t{0}), 1, 0, "0^0");
    expect_value(call(bigint_pow_word, five, int64_t{-1}), -1, 14, "5^-1");
    expect_value(call(bigint_pow, one, huge), 1, 0, "1^(2^64)");
    expect_value(call(bigint_pow, zero, huge), 0, 0, "0^(2^64)");
    expect_value(call(bigint_pow, five, huge), -1, 12, "5^(2^64)");
    EXPECT_FALSE(bigint_root(r.data(), five.data(), big_k.data()));
    expect_value(r, 1, 0, "5 root 2^63");
    EXPECT_TRUE(bigint_root(r.data(), zero.data(), big_k.data()));
    expect_value(r, 0, 0, "0 root 2^63");
    EXPECT_FALSE(bigint_root_word(r.data(), five.data(), 0));
    expect_value(r, -1, 14, "0th root");
    bigint_divmod(r.data(), m.data(), five.data(), zero.data());
    EXPECT_EQ(hex(m), "0x0");
    expect_value(r, -1, 13, "divmod by 0");
    EXPECT_EQ(bigint_divmod_word(r.data(), five.data(), 0), 0u);
    expect_value(r, -1, 13, "divmod_word by 0");
    expect_value(call(bigint_powmod, five, five, zero), -1, 13, "powmod mod 0");
    expect_value(call(bigint_gcd, five, zero), -1, 12, "gcd(5, 0)");
    expect_value(call(bigint_modinv, five, one), -1, 14, "5^-1 mod 1");
}

// Bits beyond the width raise 14 and leave the value; word conversions fail at 2^63 (signed) or 2^64, raising 14
// unless quiet.
TEST(BigIntEdges, BitsAndWordConversions) {
    IntScope scope(2);
    Words b = {0, 0};
    bigint_set_bit(b.data(), 127, true);
    EXPECT_EQ(bigint_test_bit(b.data(), 127), 1);
    bigint_set_bit(b.data(), 128, true);
    EXPECT_TRUE(num_ctx.error_code == 14u && b == Words({0, 1ull << 63})) << "bit 128 at w=2: 14, value kept";
    num_ctx.error_code = 0;
    EXPECT_EQ(bigint_test_bit(b.data(), 200), 0);
    EXPECT_EQ(num_ctx.error_code, 14u) << "bit 200";
    num_ctx.error_code = 0;
    int64_t i = 1;
    uint64_t u = 1;
    EXPECT_FALSE(bigint_to_uint64(&u, b.data(), true) || bigint_to_int64(&i, b.data(), true) || i != 0 || u != 0);
    EXPECT_EQ(num_ctx.error_code, 0u) << "quiet";
    b = {1ull << 63, 0};
    EXPECT_TRUE(bigint_to_uint64(&u, b.data(), false) && u == 1ull << 63);
    EXPECT_FALSE(bigint_to_int64(&i, b.data(), false));
    EXPECT_EQ(num_ctx.error_code, 14u);
    num_ctx.error_code = 0;
    b[0] -= 1;
    EXPECT_TRUE(bigint_to_int64(&i, b.data(), false) && i == INT64_MAX);
}

// The add-back step of the long division: v has its top bit set, u = q * (top two words of v) * 2^(64 (nv - 2 + s));
// the estimate from the top words is q and passes the second-word test, the true quotient word is q - 1.
TEST(BigIntDivision, AddBackCase) {
    Rng rng(7);
    for (int w : {24, 129}) {
        IntScope scope(w);
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
// onto 2^(64W) - 1 and 2^(64W), some divisors get leading words near 2^64 - 1 and 2^63 (the extremes of the
// quotient estimate); at 129 and 512 words a quarter of the factors have lengths about the Karatsuba crossover
// (24 words) and its second level (48), some all ones, of unequal lengths (the long one is taken in blocks).
TEST(BigIntRandom, ArithmeticAgainstGmp) {
    Rng rng(20261206);
    const uint64_t tops[] = {~0ull, ~0ull - 1, 1ull << 63, (1ull << 63) + 1, 1, 3};
    const int lengths[] = {1, 23, 24, 25, 47, 48, 49, 65, 128, 256};
    for (int w : kWidths) {
        IntScope scope(w);
        const mpz_class top = mpz_class(1) << (64 * w);
        for (int it = 0; it < iterations(w, 8000, 800, 400, 100); ++it) {
            Words a = random_value(rng, w), b = random_value(rng, w);
            const int k = (it / 7) % 2;
            if (w >= 129 && it % 4 == 3) {
                const int na = std::min(w - 1, lengths[rng() % std::size(lengths)]);
                const int nb = std::min(w - na, it % 3 == 0 ? na : lengths[rng() % std::size(lengths)]);
                a.assign(w, 0), b.assign(w, 0);
                for (int i = 0; i < na; ++i) a[i] = it % 5 == 1 ? ~0ull : rng();
                for (int i = 0; i < nb; ++i) b[i] = it % 5 == 1 ? ~0ull : rng();
                a[na - 1] |= 1ull << 63;
                b[nb - 1] |= 1;
            } else if (it % 7 == 0 && Z(a) >= k) {
                b = W(top - 1 + k - Z(a), w);
            } else if (it % 3 == 1 && w >= 3) {
                const int nb = 2 + static_cast<int>(rng() % (w - 1));
                std::fill(b.begin() + nb, b.end(), 0);
                b[nb - 1] = tops[rng() % std::size(tops)];
                if (rng() % 2) b[nb - 2] = ~0ull;
            }
            const uint64_t word = random_value(rng, 1)[0];
            const std::string in =
                " a=" + hex(a) + " b=" + hex(b) + " word=" + std::to_string(word) + " w=" + std::to_string(w);
            const mpz_class za = Z(a), zb = Z(b);
            expect_value(call(bigint_add, a, b), za + zb, 12, "add" + in);
            expect_value(call(bigint_sub, a, b), za - zb, 12, "sub" + in);
            expect_value(call(bigint_decrement, a), za - 1, 12, "decrement" + in);
            expect_value(call(bigint_mul, a, b), za * zb, 12, "mul" + in);
            expect_value(call(bigint_mul_word, a, word), za * word, 12, "mul_word" + in);
            Words r = a, q(w), m(w);
            bigint_add_word(r.data(), r.data(), word);
            expect_value(r, za + word, 12, "add_word in place" + in);
            r = a;
            bigint_mul(r.data(), r.data(), r.data());
            expect_value(r, za * za, 12, "square in place" + in);
            r = b;
            bigint_mul(r.data(), a.data(), r.data());
            expect_value(r, za * zb, 12, "mul into b" + in);
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

// 2^e, 10^e and n! on both sides of the first value that does not fit; a^n with n around the overflow bound, and
// the k-th roots of random values, of perfect powers and of their neighbours; log_b of b^c - 1, b^c and b^c + 1 in
// random bases and in 2, 10 and small ones (x = 0 or b < 2: error 12).
TEST(BigIntRandom, PowersRootsFactorialAndLogarithmsAgainstGmp) {
    Rng rng(4242);
    const int64_t ks[] = {1, 2, 2, 3, 4, 5, 7, 63, 64, 65, 300, 1000};  // 300 at 512 words: Newton steps with x^299
    for (int w : kWidths) {
        IntScope scope(w);
        const uint64_t bits = 64u * w;
        uint64_t e10 = 0, nfac = 1;
        for (mpz_class t = 1; mpz_sizeinbase(t.get_mpz_t(), 2) <= bits; t *= 10) ++e10;
        for (mpz_class t = 1; mpz_sizeinbase(t.get_mpz_t(), 2) <= bits;) t *= ++nfac;
        for (uint64_t e : {bits - 1, bits})
            expect_value(call(bigint_pow2, W(e, w)), mpz_class(1) << e, 12, "2^" + std::to_string(e));
        for (uint64_t e : {e10 - 2, e10 - 1, e10, e10 + 1, static_cast<uint64_t>(rng() % e10)}) {
            mpz_class x;
            mpz_ui_pow_ui(x.get_mpz_t(), 10, e);
            expect_value(call(bigint_pow10, W(e, w)), x, 12, "10^" + std::to_string(e));
        }
        for (uint64_t n : {nfac - 1, nfac, nfac + 1, static_cast<uint64_t>(rng() % nfac)}) {
            mpz_class x;
            mpz_fac_ui(x.get_mpz_t(), n);
            expect_value(call(bigint_factorial, W(n, w)), x, 12, std::to_string(n) + "!");
        }
        for (int it = 0; it < iterations(w, 400, 200, 60, 30); ++it) {
            const Words a = random_value(rng, w, 1 + static_cast<int>(rng() % std::min(w, 8)));
            const mpz_class za = Z(a);
            const uint64_t n = rng() % (bits / (za != 0 ? mpz_sizeinbase(za.get_mpz_t(), 2) : 1) + 2);
            mpz_class x, root;
            mpz_pow_ui(x.get_mpz_t(), za.get_mpz_t(), n);
            expect_value(call(bigint_pow, a, W(n, w)), x, 12, hex(a) + "^" + std::to_string(n));

            const int64_t k = ks[rng() % std::size(ks)];
            mpz_pow_ui(x.get_mpz_t(), Z(random_value(rng, w, static_cast<int>(1 + (w - 1) / k))).get_mpz_t(), k);
            x -= x > 0 && it % 3 == 1 ? 1 : 0;  // perfect powers and their neighbours, or random values
            const Words y = it % 3 == 2 || W(x, w).empty() ? random_value(rng, w) : W(x, w);
            const bool exact = mpz_root(root.get_mpz_t(), Z(y).get_mpz_t(), k) != 0;
            Words r(w);
            const bool got = k == 2 && it % 2 ? bigint_isqrt(r.data(), y.data())
                             : it % 4 < 2     ? bigint_root(r.data(), y.data(), W(k, w).data())
                                              : bigint_root_word(r.data(), y.data(), k);
            EXPECT_EQ(got, exact) << k << "th root of " << hex(y);
            expect_value(r, root, 0, std::to_string(k) + "th root of " + hex(y));

            const uint64_t kind = rng() % 4, small = kind == 1 ? 2 : kind == 2 ? 10 : 3 + rng() % 20;  // log2, log10
            const Words base = kind == 0 ? random_value(rng, w, 1 + static_cast<int>(rng() % 2)) : W(small, w);
            const mpz_class zb = Z(base);
            const int delta = static_cast<int>(rng() % 3) - 1;
            uint64_t c = zb >= 2 ? rng() % (static_cast<uint64_t>(bits / std::log2(zb.get_d())) + 1) : 0;
            mpz_class p;
            mpz_pow_ui(p.get_mpz_t(), zb.get_mpz_t(), c);
            for (; c > 0 && W(p + delta, w).empty(); --c) p /= zb;
            const mpz_class zx = p + delta;
            const bool valid = zx != 0 && zb >= 2, up = valid && p * zb == zx;  // up: 2^0 + 1 = 2^1
            const Words xw = W(zx, w);
            const bool exact_log = kind == 1   ? bigint_log2(r.data(), xw.data())
                                   : kind == 2 ? bigint_log10(r.data(), xw.data())
                                               : bigint_log(r.data(), xw.data(), base.data());
            const std::string what = "log_" + hex(base) + " " + hex(xw);
            EXPECT_EQ(exact_log, valid && (delta == 0 || up)) << what;
            expect_value(r, valid ? mpz_class(c - (delta < 0) + up) : mpz_class(-1), 12, what);
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
// are the prime module's case: a 1000-digit modulus (odd, then even) and exponent. The gcd and the modular inverse
// of a and m follow, a quarter of them with a common factor.
TEST(BigIntRandom, ModularPowerGcdAndInverseAgainstGmp) {
    Rng rng(2718);
    for (int w : kWidths) {
        IntScope scope(w);
        for (int it = 0; it < iterations(w, 600, 100, 40, 6); ++it) {
            const int mwords = it % 3 == 0 ? w : (w + 1) / 2;
            Words m = random_value(rng, w, mwords), a = random_value(rng, w, it % 5 == 0 ? w : mwords);
            Words e = random_value(rng, w, w <= 24 ? w : 2);
            if (w == 129 && it < 3) {
                m.assign(w, 0), a.assign(w, 0), e.assign(w, 0);
                for (int i = 0; i < 52; ++i) m[i] = rng(), a[i] = rng(), e[i] = rng();
            }
            m[0] = it % 2 ? m[0] | 1 : m[0] & ~1ull;
            if (Z(m) == 0) m[0] = 2;
            const mpz_class za = Z(a), ze = Z(e), zm = Z(m);
            const std::string in = " a=" + hex(a) + " e=" + hex(e) + " m=" + hex(m) + " w=" + std::to_string(w);
            const mpz_class want = ze == 0 ? mpz_class(zm == 1 ? 0 : 1) : powmod_rule(za, ze, zm, w);
            Words r = it % 4 == 1 ? m : Words(w, 5);
            bigint_powmod(r.data(), a.data(), e.data(), it % 4 == 1 ? r.data() : m.data());
            expect_value(r, want, 12, "powmod" + in);
            if (it % 4 == 0) {
                const mpz_class f = Z(random_value(rng, w, (w + 2) / 3));
                if (!W(za * f, w).empty()) a = W(za * f, w);
                if (!W(zm * f, w).empty()) m = W(zm * f, w);
            }
            const mpz_class ga = Z(a), gm = Z(m);
            expect_value(call(bigint_gcd, a, m), ga == 0 ? mpz_class(-1) : gcd(ga, gm), 12, "gcd" + in);
            r = a;
            bigint_modinv(r.data(), r.data(), m.data());
            mpz_class inv = 1;
            uint32_t code = ga == 0 ? 13 : gm < 2 ? 14 : 0;
            if (code == 0 && ga != 1 && mpz_invert(inv.get_mpz_t(), ga.get_mpz_t(), gm.get_mpz_t()) == 0) code = 12;
            expect_value(r, code ? mpz_class(-1) : inv, code, "modinv" + in);
        }
    }
}

}  // namespace
