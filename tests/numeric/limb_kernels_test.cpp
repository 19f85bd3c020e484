// Base-10^19 limb kernels and extended-precision seeds against GMP, MPFR, 128-bit arithmetic or the product rule.
#include "numeric/limb_kernels.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"

namespace {

constexpr uint64_t kB = 10000000000000000000ull;
constexpr uint64_t kE18 = kB / 10;
#ifdef NDEBUG
constexpr bool kOptimisedBuild = true;
#else
constexpr bool kOptimisedBuild = false;
#endif
using Limbs = std::vector<uint64_t>;

// The integer of limbs[0..n-1], most significant first.
mpz_class mpz_of(const uint64_t* limbs, int n) {
    mpz_class x = 0;
    for (int i = 0; i < n; ++i) x = x * kB + limbs[i];
    return x;
}

// x as n limbs; the first takes everything above the lower n - 1 (a mul_word overflow limb may exceed 10^19 - 1).
Limbs limbs_of(mpz_class x, int n) {
    Limbs out(n);
    for (int i = n - 1; i >= 1; --i) out[i] = mpz_tdiv_q_ui(x.get_mpz_t(), x.get_mpz_t(), kB);
    EXPECT_TRUE(x.fits_ulong_p()) << "oracle value wider than " << n << " limbs";
    out[0] = x.get_ui();
    return out;
}

std::string text(u128 x) {
    return std::to_string(static_cast<uint64_t>(x >> 64)) + " * 2^64 + " + std::to_string(static_cast<uint64_t>(x));
}

// floor(2^(64 + s) / d) with s = floor(log2 d), 0 for powers of two: the reciprocal div_wide takes.
uint64_t reciprocal_of(uint64_t d) {
    if ((d & (d - 1)) == 0) return 0;
    return mpz_class((mpz_class(1) << (64 + 63 - __builtin_clzll(d))) / d).get_ui();
}

// Operand patterns: uniform limbs, then the ones that push column sums, carries and Karatsuba differences to their
// extremes.
enum Pattern { kRandom, kAllMax, kAlternating, kLeadingPow18, kSparse };

Limbs make_limbs(std::mt19937_64& rng, int n, Pattern p, int phase = 0) {
    Limbs v(n);
    for (int i = 0; i < n; ++i) {
        const uint64_t r = rng() % kB;
        if (p == kAllMax) v[i] = kB - 1;
        if (p == kAlternating) v[i] = ((i + phase) & 1) ? kB - 1 : 0;
        if (p == kRandom || p == kLeadingPow18) v[i] = r;
        if (p == kSparse) v[i] = rng() % 5 == 0 ? r : 0;
    }
    if (p == kLeadingPow18) v[0] = kE18;
    if (p == kSparse) v[0] = kE18 + rng() % (kB - kE18);
    return v;
}

// The word helpers and the fixed tables they read against exact 128-bit arithmetic: split_b, div_pow10 for every k,
// div_wide with every kind of reciprocal and the largest high word, recip_seed, leading_zero_digits.
TEST(LimbWord, HelpersAreExact) {
    std::mt19937_64 rng(11);
    const u128 kTop = static_cast<u128>(kB) << 64, ten37 = static_cast<u128>(kE18) * kB;
    for (int i = 0; i < 240000; ++i) {
        const u128 base = static_cast<u128>(rng()) * kB;
        // clang-format off
        const u128 picks[] = {base, base + kB - 1, base + rng() % kB, (static_cast<u128>(rng() % kB) << 64) | rng(),
                              kTop - 1 - rng() % 2 * kB, static_cast<u128>(i)};
        // clang-format on
        const u128 x = picks[i % 6];
        uint64_t r = 0;
        ASSERT_EQ(split_b(x, &r), static_cast<uint64_t>(x / kB)) << text(x);
        ASSERT_EQ(r, static_cast<uint64_t>(x % kB)) << text(x);

        const int k = i % 20;
        const uint64_t p = kPow10[k];
        uint64_t y = i < 20 ? UINT64_MAX : rng() >> (i % 7 == 0 ? rng() % 64 : 0);
        if (i % 3 == 1) y = y / p * p;          // exact multiple
        if (i % 3 == 2) y = y / p * p + p - 1;  // largest remainder, or wrapped past UINT64_MAX
        ASSERT_EQ(div_pow10(y, k, &r), y / p) << y << " / 10^" << k;
        ASSERT_EQ(r, y % p) << y << " mod 10^" << k;

        uint64_t d = 1 + i / 4 % 100, v = kSmallDivisorReciprocal[d];
        if (i % 4 == 1) d = kB, v = kSplitReciprocal;  // as binary words are converted to base 10^19
        if (i % 4 == 2) d = std::max<uint64_t>(rng() >> (rng() % 60), 3), v = reciprocal_of(d);
        if (i % 4 == 3) d = uint64_t{1} << (i / 4 % 64), v = 0;
        const uint64_t high = i % 5 == 0 ? d - 1 : rng() % d, low = i % 7 == 0 ? UINT64_MAX : rng();
        const u128 z = (static_cast<u128>(high) << 64) | low;
        ASSERT_EQ(div_wide(&r, high, low, d, v), static_cast<uint64_t>(z / d)) << text(z) << " / " << d;
        ASSERT_EQ(r, static_cast<uint64_t>(z % d)) << text(z) << " mod " << d;

        const uint64_t seed_of = i < 3 ? kE18 + i * (kB - kE18 - 1) / 2 : kE18 + rng() % (kB - kE18);
        ASSERT_EQ(recip_seed(seed_of), static_cast<uint64_t>(ten37 / seed_of)) << seed_of;
    }
    std::vector<uint64_t> xs = {0, kB, UINT64_MAX};
    for (int k = 1; k < 20; ++k) xs.insert(xs.end(), {kPow10[k] - 1, kPow10[k], kPow10[k] + 1});
    for (int b = 0; b < 64; ++b) xs.insert(xs.end(), {uint64_t{1} << b, (uint64_t{2} << b) - 1});
    for (const uint64_t x : xs) EXPECT_EQ(leading_zero_digits(x), 19 - static_cast<int>(std::to_string(x).size())) << x;
}

// Expected truncated product: S = the sum of a[i] b[j] B^(n+m-2-i-j) over i + j <= n + m - 2, then the n + 1
// limbs of floor(S / B^(m-1)). Rows j < m take all of a; row j >= m takes the prefix of a of n + m - 1 - j limbs.
Limbs oracle_truncated_product(const Limbs& a, const Limbs& b, int m) {
    const int n = static_cast<int>(a.size());
    m = std::min(m, n);
    mpz_class s = mpz_of(a.data(), n) * mpz_of(b.data(), m), prefix = 0, scale;
    for (int len = 1; len <= n - 1; ++len) {
        prefix = prefix * kB + a[len - 1];
        const int j = n + m - 1 - len;
        if (j >= m && j <= n - 1) s += prefix * b[j];
    }
    mpz_ui_pow_ui(scale.get_mpz_t(), kB, m - 1);
    return limbs_of(s / scale, n + 1);
}

// Runs kernel(dst, src) into a fresh vector and in place against want: n limbs and the returned word.
template <typename Kernel>
void expect_both_ways(const Limbs& src, const Limbs& want, Kernel kernel, const std::string& what) {
    const int n = static_cast<int>(src.size());
    Limbs got(n + 1);
    got[n] = kernel(got.data(), src.data());
    ASSERT_EQ(got, want) << what;
    got = src;
    got.push_back(kernel(got.data(), got.data()));
    ASSERT_EQ(got, want) << what << " (in place)";
}

// Lengths: every remainder of the three-product column loop, both sides of the column-sum crossovers (48, 160) and
// of the split at 300 limbs with either parity of its halves, and the longest vectors the split takes (528) or not.
TEST(LimbMul, TruncatedProductsMatchGmpAndTheRule) {
    std::mt19937_64 rng(17);
    const Pattern kPairs[][2] = {{kRandom, kRandom},      {kAllMax, kAllMax},      {kAlternating, kAlternating},
                                 {kAllMax, kAlternating}, {kAlternating, kAllMax}, {kLeadingPow18, kSparse},
                                 {kSparse, kAllMax},      {kRandom, kAlternating}};
    for (const int n :
         {1,   2,   3,   4,   5,   6,   7,   8,   9,   16,  17,  47,  48,  49,  96,  97,  159, 160, 161, 298,
          299, 300, 301, 302, 303, 305, 310, 317, 320, 350, 383, 384, 385, 431, 480, 511, 512, 513, 527, 528}) {
        for (const auto& pair : kPairs) {
            const Limbs a = make_limbs(rng, n, pair[0]), b = make_limbs(rng, n, pair[1], n & 1);
            for (const int m : {1, 2, n / 2, n / 2 + 1, 1 + static_cast<int>(rng() % n), n + 3}) {
                if (m < 1) continue;
                const std::string what = "n = " + std::to_string(n) + ", m = " + std::to_string(m) + ", patterns " +
                                         std::to_string(pair[0]) + " x " + std::to_string(pair[1]) +
                                         "\na = " + ::testing::PrintToString(a) +
                                         "\nb = " + ::testing::PrintToString(b);
                const Limbs want = oracle_truncated_product(a, b, m);
                ASSERT_NO_FATAL_FAILURE(expect_both_ways(
                    a, want, [&](uint64_t* d, const uint64_t* x) { return mul_limbs(n, d, x, b.data(), m); }, what));
                ASSERT_NO_FATAL_FAILURE(expect_both_ways(
                    b, want, [&](uint64_t* d, const uint64_t* x) { return mul_limbs(n, d, a.data(), x, m); }, what));
                // the unoptimised sanitizer build compares the slow literal rule on the short and extreme cases
                if (kOptimisedBuild || n <= 100 || m <= 2) {
                    Limbs ref(n + 1);
                    ref[n] = mul_limbs_reference(n, ref.data(), a.data(), b.data(), m);
                    ASSERT_EQ(ref, want) << "mul_limbs_reference " << what;
                }
            }
        }
    }
}

// Each trial draws the source and a word for all three kernels: every small divisor (reciprocal path), 10^19 and
// its neighbours, powers of two and UINT64_MAX (hardware path), and divisors just above src[0] for the shifted one.
TEST(LimbWordVector, ProductsAndQuotientsByAWordMatchGmp) {
    std::mt19937_64 rng(20);
    const uint64_t kWords[] = {0, 1, 101, 127, 128, kB - 1, kB, kB + 1, uint64_t{1} << 63, UINT64_MAX};
    for (int trial = 0; trial < 12000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 30);
        const Limbs src = make_limbs(rng, n, static_cast<Pattern>(trial % 5));
        uint64_t w = rng() >> (rng() % 64);
        if (trial % 3 == 0) w = 1 + (trial / 3) % 100;
        if (trial % 3 == 1 && trial % 4 == 1) w = kWords[(trial / 12) % 10];
        const uint64_t d = w <= src[0] || trial % 5 == 0 ? src[0] + 1 + rng() % 3 : w;  // shifted needs d > src[0]
        const std::string what =
            ::testing::PrintToString(src) + ", w = " + std::to_string(w) + ", d = " + std::to_string(d);
        const mpz_class s = mpz_of(src.data(), n);
        ASSERT_NO_FATAL_FAILURE(expect_both_ways(
            src, limbs_of(s * w, n + 1), [&](uint64_t* r, const uint64_t* x) { return mul_word(n, r, x, w); },
            "mul_word " + what));
        if (w == 0) continue;
        ASSERT_NO_FATAL_FAILURE(expect_both_ways(  // floor(S * B / w)
            src, limbs_of(s * kB / w, n + 1), [&](uint64_t* r, const uint64_t* x) { return div_word(n, r, x, w); },
            "div_word " + what));
        ASSERT_NO_FATAL_FAILURE(expect_both_ways(  // floor(S * B^2 / d)
            src, limbs_of(s * kB * kB / d, n + 1),
            [&](uint64_t* r, const uint64_t* x) { return div_word_shifted(n, r, x, d); }, "div_word_shifted " + what));
    }
}

uint16_t read_x87_control() {
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void write_x87_control(uint16_t cw) {  // pending exception flags cleared first, so unmasking one cannot trap
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
}

// The seeds as the root iterations use them: the square root of x * 10^19 within 1.5 units and the cube root of
// x * 10^38 within 1e-17 relative, x a leading limb in [10^18, 10^19), against MPFR at 200 bits. The caller's
// control word (53-bit precision, round toward zero, invalid operation unmasked) would put the square root seeds
// thousands of units off; extended_begin must replace it and extended_end give it back. extended_to_u64 rounds half
// up and gives 0 outside the word range.
TEST(LimbExtended, RootSeedsAgreeWithMpfrUnderTheirOwnControlWord) {
    const uint16_t original = read_x87_control();
    const uint16_t odd = static_cast<uint16_t>((original & ~0x0F3Fu) | 0x0200u | 0x0C00u | 0x003Eu);
    write_x87_control(odd);
    // conversion from a word is exact under any precision control
    const uint64_t kWords[] = {UINT64_MAX, (uint64_t{1} << 63) + 1, (uint64_t{1} << 63) - 1, 12345678901234567891ull};
    for (const uint64_t w : kWords) EXPECT_EQ(extended_to_u64(extended_from_u64(w)), w) << w;
    const uint16_t saved = extended_begin();
    const uint16_t inside = read_x87_control();
    std::mt19937_64 rng(25);
    mpfr_t exact, diff;
    mpfr_inits2(200, exact, diff, static_cast<mpfr_ptr>(nullptr));
    for (int i = 0; i < 40000 && !HasFailure(); ++i) {
        const bool cube = i % 2 == 1;
        const uint64_t x = kE18 + rng() % (kB - kE18);
        ExtendedFloat v = extended_mul_u64(extended_from_u64(x), kB);
        if (cube) v = extended_mul_u64(v, kB);
        const uint64_t seed = extended_to_u64(cube ? extended_pow(v, 1.0L / 3.0L) : extended_sqrt(v));
        mpfr_set_ui(exact, x, MPFR_RNDN);
        mpfr_mul_ui(exact, exact, kB, MPFR_RNDN);
        if (cube) mpfr_mul_ui(exact, exact, kB, MPFR_RNDN);
        (cube ? mpfr_cbrt : mpfr_sqrt)(exact, exact, MPFR_RNDN);
        mpfr_sub_ui(diff, exact, seed, MPFR_RNDN);
        if (cube) mpfr_div(diff, diff, exact, MPFR_RNDN);
        EXPECT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), cube ? 1e-17 : 1.5)
            << (cube ? "cbrt" : "sqrt") << " x = " << x << ", seed = " << seed;
    }
    mpfr_clears(exact, diff, static_cast<mpfr_ptr>(nullptr));
    extended_end(saved);
    const uint16_t after = read_x87_control();
    write_x87_control(original);
    EXPECT_EQ(saved, odd);
    EXPECT_EQ(inside, static_cast<uint16_t>((odd & ~0x0F3Fu) | 0x033Fu)) << "nearest, 64 bits, all masked";
    EXPECT_EQ(after, odd);
    const long double kToWord[] = {2.5L, -5.0L, 18446744073709551616.0L, __builtin_nanl("")};  // 3, then 0 out of range
    for (const long double x : kToWord) EXPECT_EQ(extended_to_u64(x), x == 2.5L ? 3u : 0u) << static_cast<double>(x);
}

}  // namespace
