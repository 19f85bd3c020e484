// Base-10^19 limb kernels: fixed tables, word arithmetic, moves, vector products and quotients, extended-precision
// seeds; every kernel is compared with GMP, MPFR, exact 128-bit arithmetic or the literal product rule.
#include "numeric/limb_kernels.h"

#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"

namespace {

constexpr uint64_t kB = 10000000000000000000ull;
constexpr uint64_t kE18 = 1000000000000000000ull;
#ifdef NDEBUG
constexpr bool kOptimisedBuild = true;
#else
constexpr bool kOptimisedBuild = false;
#endif
using Limbs = std::vector<uint64_t>;

struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
};

// The integer of limbs[0..n-1], most significant first, base 10^19.
void mpz_from_limbs(mpz_t out, const uint64_t* limbs, int n) {
    mpz_set_ui(out, 0);
    for (int i = 0; i < n; ++i) {
        mpz_mul_ui(out, out, kB);
        mpz_add_ui(out, out, limbs[i]);
    }
}

// x as n base-10^19 digits, most significant first; the first entry takes everything above the lower n - 1 (a
// mul_word product's overflow limb may exceed 10^19 - 1, but it must fit a word).
Limbs limbs_from_mpz(const mpz_t x, int n) {
    Limbs out(n);
    Mpz t;
    mpz_set(t.v, x);
    for (int i = n - 1; i >= 1; --i) out[i] = mpz_tdiv_q_ui(t.v, t.v, kB);
    EXPECT_TRUE(mpz_fits_ulong_p(t.v)) << "oracle value wider than " << n << " limbs";
    out[0] = mpz_get_ui(t.v);
    return out;
}

std::string limbs_text(const Limbs& limbs) {
    std::string s = "[";
    for (const uint64_t l : limbs) s += std::to_string(l) + ' ';
    return s + "]";
}

std::string u128_text(u128 x) {
    return std::to_string(static_cast<uint64_t>(x >> 64)) + " * 2^64 + " + std::to_string(static_cast<uint64_t>(x));
}

// floor(2^(64 + s) / d) with s = floor(log2 d), 0 for powers of two: the reciprocal div_wide takes.
uint64_t reciprocal_of(uint64_t d) {
    if ((d & (d - 1)) == 0) return 0;
    Mpz num, q;
    mpz_ui_pow_ui(num.v, 2, 64 + (63 - __builtin_clzll(d)));
    mpz_fdiv_q_ui(q.v, num.v, d);
    return mpz_get_ui(q.v);
}

// Operand patterns: uniform limbs, then the ones that push column sums, carries and Karatsuba differences to their
// extremes.
enum Pattern { kRandom, kAllMax, kAlternating, kLeadingPow18, kSparse };
const char* const kPatternNames[] = {"random", "all 10^19-1", "alternating 0/10^19-1", "10^18 leading", "sparse"};

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

// ---- Fixed tables and word arithmetic --------------------------------------------------------------------------

TEST(LimbWord, FixedTablesMatchTheirDefinitions) {
    Mpz p, two64, q;
    mpz_set_ui(p.v, 1);
    mpz_ui_pow_ui(two64.v, 2, 64);
    for (int k = 0; k < 20; ++k, mpz_mul_ui(p.v, p.v, 10)) {
        EXPECT_EQ(kPow10[k], mpz_get_ui(p.v)) << "10^" << k;
        mpz_fdiv_q(q.v, two64.v, p.v);
        EXPECT_EQ(kPow10Reciprocal[k], k == 0 ? 0 : mpz_get_ui(q.v)) << "reciprocal of 10^" << k;
    }
    // b * log10(2) is never within 1e-9 of an integer for 0 < b < 64, so double precision decides the floor
    for (int b = 0; b < 64; ++b) EXPECT_EQ(kDigitsByBitIndex[b], static_cast<int>(b * std::log10(2.0)) + 1) << b;
    for (uint64_t d = 0; d <= 100; ++d) EXPECT_EQ(kSmallDivisorReciprocal[d], reciprocal_of(d)) << "d = " << d;
    EXPECT_EQ(kSplitReciprocal, reciprocal_of(kB));
}

TEST(LimbWord, SplitAndPowerOfTenQuotientsAreExact) {
    const u128 kTop = static_cast<u128>(kB) << 64;  // exclusive bound of split_b's argument
    std::vector<u128> xs = {0, 1, kB - 1, kB, kB + 1, kTop - 1, kTop - kB, kTop - kB - 1, UINT64_MAX, u128{1} << 64};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) {  // multiples of 10^19 and their neighbours stress the correction step
        const u128 base = static_cast<u128>(rng()) * kB;
        const u128 picks[] = {base, base + kB - 1, base + rng() % kB, (static_cast<u128>(rng() % kB) << 64) | rng()};
        xs.push_back(picks[i % 4]);
    }
    for (const u128 x : xs) {
        uint64_t r = 0;
        ASSERT_EQ(split_b(x, &r), static_cast<uint64_t>(x / kB)) << u128_text(x);
        ASSERT_EQ(r, static_cast<uint64_t>(x % kB)) << u128_text(x);
    }
    for (int k = 0; k <= 19; ++k) {
        const uint64_t p = kPow10[k];
        for (int i = 0; i < 20000; ++i) {
            uint64_t x = rng();
            if (i % 3 == 1) x = x / p * p;          // exact multiple
            if (i % 3 == 2) x = x / p * p + p - 1;  // largest remainder, or wrapped past UINT64_MAX
            if (i % 7 == 0) x >>= rng() % 64;
            if (i == 0) x = UINT64_MAX;
            uint64_t r = 99;
            ASSERT_EQ(div_pow10(x, k, &r), x / p) << x << " / 10^" << k;
            ASSERT_EQ(r, x % p) << x << " mod 10^" << k;
        }
    }
}

TEST(LimbWord, DivWideIsExactForTableAndComputedReciprocals) {
    std::mt19937_64 rng(13);
    auto check = [](uint64_t high, uint64_t low, uint64_t d, uint64_t v) {
        const u128 x = (static_cast<u128>(high) << 64) | low;
        uint64_t r = 0;
        ASSERT_EQ(div_wide(&r, high, low, d, v), static_cast<uint64_t>(x / d)) << u128_text(x) << " / " << d;
        ASSERT_EQ(r, static_cast<uint64_t>(x % d)) << u128_text(x) << " mod " << d;
    };
    for (uint64_t d = 1; d <= 100; ++d) {
        const uint64_t v = kSmallDivisorReciprocal[d];
        ASSERT_NO_FATAL_FAILURE(check(d - 1, UINT64_MAX, d, v));
        for (int i = 0; i < 3000; ++i) {
            uint64_t low = rng();
            if (i % 2 == 0) low = low - low % d + (d - 1);  // the largest remainder
            ASSERT_NO_FATAL_FAILURE(check(rng() % d, low, d, v));
            const u128 t = static_cast<u128>(rng() % d) * kB + rng() % kB;  // as div_word forms them
            if (i % 6 == 0) {
                ASSERT_NO_FATAL_FAILURE(check(static_cast<uint64_t>(t >> 64), static_cast<uint64_t>(t), d, v));
            }
        }
    }
    for (int i = 0; i < 40000; ++i) {
        uint64_t d = std::max<uint64_t>(rng() >> (rng() % 60), 3);
        if (i % 50 == 0) d = uint64_t{1} << (rng() % 64);  // powers of two take the shift path
        if (i % 97 == 0) d = UINT64_MAX;
        if (i % 2 == 1) d = kB;  // with the split reciprocal, as binary words are converted to base 10^19
        const uint64_t high = i % 5 == 0 ? d - 1 : rng() % d;
        ASSERT_NO_FATAL_FAILURE(check(high, i % 7 == 0 ? UINT64_MAX : rng(), d, reciprocal_of(d)));
    }
}

TEST(LimbWord, LeadingZeroDigitsAndReciprocalSeed) {
    std::vector<uint64_t> xs = {0, kB, UINT64_MAX};
    for (int k = 1; k < 20; ++k) xs.insert(xs.end(), {kPow10[k] - 1, kPow10[k], kPow10[k] + 1});
    for (int b = 0; b < 64; ++b)
        xs.insert(xs.end(), {uint64_t{1} << b, (uint64_t{1} << b) - 1, (uint64_t{2} << b) - 1});
    for (const uint64_t x : xs) EXPECT_EQ(leading_zero_digits(x), 19 - static_cast<int>(std::to_string(x).size())) << x;

    std::mt19937_64 rng(15);
    const u128 ten37 = static_cast<u128>(kE18) * kB;
    std::vector<uint64_t> seeds = {kE18, kE18 + 1, kB - 1, 3333333333333333333ull};
    for (int i = 0; i < 100000; ++i) seeds.push_back(kE18 + rng() % (kB - kE18));
    for (const uint64_t x : seeds) ASSERT_EQ(recip_seed(x), static_cast<uint64_t>(ten37 / x)) << "x = " << x;
}

// ---- Moves -----------------------------------------------------------------------------------------------------

class LimbMoves : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { has_wide_moves = GetParam(); }
    void TearDown() override { has_wide_moves = saved_; }
    bool saved_ = has_wide_moves;
};

TEST_P(LimbMoves, AgreeWithMemmoveIncludingOverlaps) {
    std::mt19937_64 rng(16);
    constexpr int kPad = 8;
    for (int n = 0; n <= 41; ++n) {
        for (int shift = 0; shift <= 6; ++shift) {
            Limbs buf(n + 2 * kPad + shift);
            for (auto& w : buf) w = rng();
            Limbs got = buf, want = buf;
            limbs_copy(got.data() + kPad, got.data() + kPad + shift, n);  // destination at or below the source
            std::memmove(want.data() + kPad, want.data() + kPad + shift, n * 8);
            ASSERT_EQ(got, want) << "limbs_copy n = " << n << ", dst = src - " << shift;
            got = want = buf;
            limbs_move_up(got.data() + kPad + shift, got.data() + kPad, n);
            std::memmove(want.data() + kPad + shift, want.data() + kPad, n * 8);
            ASSERT_EQ(got, want) << "limbs_move_up n = " << n << ", dst = src + " << shift;
            got = want = buf;
            limbs_zero(got.data() + kPad + shift, n);
            std::memset(want.data() + kPad + shift, 0, n * 8);
            ASSERT_EQ(got, want) << "limbs_zero n = " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WideAndNarrow, LimbMoves, ::testing::Values(false, true));

// ---- mul_limbs against GMP and the literal rule ----------------------------------------------------------------

// Expected truncated product: S = the sum of a[i] b[j] B^(n+m-2-i-j) over i + j <= n + m - 2, then the n + 1
// limbs of floor(S / B^(m-1)). Rows j < m take all of a; row j >= m takes the prefix of a of n + m - 1 - j limbs.
Limbs oracle_truncated_product(const Limbs& a, const Limbs& b, int m) {
    const int n = static_cast<int>(a.size());
    if (m > n) m = n;
    Mpz s, head, prefix, scale;
    mpz_from_limbs(head.v, b.data(), m);
    mpz_from_limbs(s.v, a.data(), n);
    mpz_mul(s.v, s.v, head.v);
    for (int len = 1; len <= n - 1; ++len) {
        mpz_mul_ui(prefix.v, prefix.v, kB);
        mpz_add_ui(prefix.v, prefix.v, a[len - 1]);
        const int j = n + m - 1 - len;
        if (j >= m && j <= n - 1) mpz_addmul_ui(s.v, prefix.v, b[j]);
    }
    mpz_ui_pow_ui(scale.v, kB, m - 1);
    mpz_fdiv_q(s.v, s.v, scale.v);
    return limbs_from_mpz(s.v, n + 1);
}

// Lengths: every short one, both sides of the column-sum crossovers inside the split (48, 160), both sides of the
// split at 300 limbs, a stride through the split range and the longest vectors.
std::vector<int> mul_lengths() {
    std::vector<int> ns;
    for (int n = 1; n <= 20; ++n) ns.push_back(n);
    ns.insert(ns.end(), {31, 47, 48, 49, 64, 95, 96, 97, 159, 160, 161, 255, 256, 297, 298, 299});
    for (int n = 300; n <= 320; ++n) ns.push_back(n);
    for (int n = 323; n < 520; n += 9) ns.push_back(n);
    ns.insert(ns.end(), {383, 384, 385, 511, 512, 513, 520, 524, 525, 526, 527, 528});
    return ns;
}

// Runs kernel(dst, src) into a fresh vector and in place against want: n limbs and the returned word.
template <typename Kernel, typename Describe>
void expect_both_ways(const Limbs& src, const Limbs& want, Kernel kernel, Describe what) {
    const int n = static_cast<int>(src.size());
    Limbs got(n + 1);
    got[n] = kernel(got.data(), src.data());
    ASSERT_EQ(got, want) << what();
    got = src;
    got.push_back(kernel(got.data(), got.data()));
    ASSERT_EQ(got, want) << what() << " (in place)";
}

TEST(LimbMul, TruncatedProductsMatchGmpAndTheRule) {
    std::mt19937_64 rng(17);
    const Pattern kPairs[][2] = {{kRandom, kRandom},      {kAllMax, kAllMax},      {kAlternating, kAlternating},
                                 {kAllMax, kAlternating}, {kAlternating, kAllMax}, {kLeadingPow18, kSparse},
                                 {kSparse, kAllMax},      {kRandom, kAlternating}};
    for (const int n : mul_lengths()) {
        for (const auto& pair : kPairs) {
            const Limbs a = make_limbs(rng, n, pair[0]);
            const Limbs b = make_limbs(rng, n, pair[1], n & 1);
            for (const int m : {1, 2, n / 2, n / 2 + 1, 1 + static_cast<int>(rng() % n), n + 3}) {
                if (m < 1) continue;
                auto what = [&] {  // built only on failure
                    return "n = " + std::to_string(n) + ", m = " + std::to_string(m) + ", " + kPatternNames[pair[0]] +
                           " x " + kPatternNames[pair[1]] + "\na = " + limbs_text(a) + "\nb = " + limbs_text(b);
                };
                const Limbs want = oracle_truncated_product(a, b, m);
                auto times_b = [&](uint64_t* d, const uint64_t* x) { return mul_limbs(n, d, x, b.data(), m); };
                auto a_times = [&](uint64_t* d, const uint64_t* x) { return mul_limbs(n, d, a.data(), x, m); };
                auto square = [&](uint64_t* d, const uint64_t* x) { return mul_limbs(n, d, x, x, m); };
                ASSERT_NO_FATAL_FAILURE(expect_both_ways(a, want, times_b, what));
                ASSERT_NO_FATAL_FAILURE(expect_both_ways(b, want, a_times, what));
                if (a == b) {
                    ASSERT_NO_FATAL_FAILURE(expect_both_ways(a, want, square, what));
                }
                // the unoptimised sanitizer build compares the slow literal rule on the short and extreme cases
                if (kOptimisedBuild || n <= 100 || m <= 2) {
                    Limbs ref(n + 1);
                    ref[n] = mul_limbs_reference(n, ref.data(), a.data(), b.data(), m);
                    ASSERT_EQ(ref, want) << "mul_limbs_reference " << what();
                }
            }
        }
    }
}

// ---- mul_word, div_word, div_word_shifted against GMP ----------------------------------------------------------

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
        auto what = [&] {
            return "src = " + limbs_text(src) + ", w = " + std::to_string(w) + ", d = " + std::to_string(d);
        };
        Mpz s, t;
        mpz_from_limbs(s.v, src.data(), n);
        mpz_mul_ui(t.v, s.v, w);
        ASSERT_NO_FATAL_FAILURE(expect_both_ways(
            src, limbs_from_mpz(t.v, n + 1), [&](uint64_t* r, const uint64_t* x) { return mul_word(n, r, x, w); },
            [&] { return "mul_word " + what(); }));
        if (w == 0) continue;
        mpz_mul_ui(s.v, s.v, kB);
        mpz_fdiv_q_ui(t.v, s.v, w);  // floor(S * B / w)
        ASSERT_NO_FATAL_FAILURE(expect_both_ways(
            src, limbs_from_mpz(t.v, n + 1), [&](uint64_t* r, const uint64_t* x) { return div_word(n, r, x, w); },
            [&] { return "div_word " + what(); }));
        mpz_mul_ui(s.v, s.v, kB);
        mpz_fdiv_q_ui(t.v, s.v, d);  // floor(S * B^2 / d)
        ASSERT_NO_FATAL_FAILURE(expect_both_ways(
            src, limbs_from_mpz(t.v, n + 1),
            [&](uint64_t* r, const uint64_t* x) { return div_word_shifted(n, r, x, d); },
            [&] { return "div_word_shifted " + what(); }));
    }
}

// ---- Extended-precision seeds ----------------------------------------------------------------------------------

uint16_t read_x87_control() {
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void write_x87_control(uint16_t cw) {
    __asm__ volatile("fldcw %0" : : "m"(cw));
}

TEST(LimbExtended, BeginSetsNearest64BitMaskedAndEndRestores) {
    const uint16_t original = read_x87_control();
    // 53-bit precision, round toward zero, invalid-operation exception unmasked
    const uint16_t odd = static_cast<uint16_t>((original & ~0x0F3Fu) | 0x0200u | 0x0C00u | 0x003Eu);
    write_x87_control(odd);
    // conversion from a word is exact under any precision control
    const uint64_t kWords[] = {UINT64_MAX, (uint64_t{1} << 63) + 1, (uint64_t{1} << 63) - 1, 12345678901234567891ull};
    for (const uint64_t w : kWords) EXPECT_EQ(extended_to_u64(extended_from_u64(w)), w) << w;
    const uint16_t saved = extended_begin();
    const uint16_t inside = read_x87_control();
    const uint64_t back = extended_to_u64(extended_mul_u64(extended_from_u64(UINT64_MAX), 1));  // needs 64 bits
    extended_end(saved);
    const uint16_t after = read_x87_control();
    write_x87_control(original);
    EXPECT_EQ(saved, odd);
    EXPECT_EQ(inside & 0x0F3Fu, 0x033Fu);
    EXPECT_EQ(inside & ~0x0F3Fu, odd & ~0x0F3Fu);
    EXPECT_EQ(after, odd);
    EXPECT_EQ(back, UINT64_MAX);
}

TEST(LimbExtended, ToU64RoundsHalfUpAndRejectsOutOfRange) {
    const struct {
        long double x; uint64_t expected;
    } kCases[] = {{0.0L, 0}, {0.999L, 0}, {-5.0L, 0}, {1.0L, 1}, {1.49L, 1}, {1.5L, 2}, {2.5L, 3},
                  {4611686018427387904.5L, 4611686018427387905ull},  // 2^62 + 1/2
                  {9223372036854775809.0L, 9223372036854775809ull},  // 2^63 + 1, no fraction bits
                  {18446744073709551615.0L, UINT64_MAX}, {18446744073709551616.0L, 0}, {1e30L, 0},
                  {__builtin_nanl(""), 0}, {__builtin_infl(), 0}};
    for (const auto& c : kCases) EXPECT_EQ(extended_to_u64(c.x), c.expected) << static_cast<double>(c.x);
}

// The seeds as the root iterations use them: the square root of x * 10^19 within 1.5 units and the cube root of
// x * 10^38 within 1e-17 relative, x a leading limb in [10^18, 10^19), against MPFR at 200 bits.
TEST(LimbExtended, RootSeedsAgreeWithMpfr) {
    const uint16_t saved = extended_begin();
    std::mt19937_64 rng(25);
    mpfr_t exact, diff;
    mpfr_inits2(200, exact, diff, static_cast<mpfr_ptr>(nullptr));
    for (int i = 0; i < 40000; ++i) {
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
        ASSERT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), cube ? 1e-17 : 1.5)
            << (cube ? "cbrt" : "sqrt") << " x = " << x << ", seed = " << seed;
    }
    // small and fractional arguments of the power: integer part of y * log2 x of either sign
    const long double kPow[][2] = {{2.0L, 0.5L}, {10.0L, 3.0L}, {0.001L, 1.0L / 3.0L}, {1e-30L, 0.25L}, {7.0L, -2.0L}};
    for (const auto& c : kPow) {
        const long double want = powl(c[0], c[1]);
        EXPECT_LT(fabsl(extended_pow(c[0], c[1]) - want) / want, 1e-18L)
            << static_cast<double>(c[0]) << " ^ " << static_cast<double>(c[1]);
    }
    mpfr_clears(exact, diff, static_cast<mpfr_ptr>(nullptr));
    extended_end(saved);
}

}  // namespace
