#include "numeric/limb_kernels.h"

#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"

namespace {

constexpr uint64_t kB = 10000000000000000000ull;
#ifdef NDEBUG
constexpr bool kOptimisedBuild = true;
#else
constexpr bool kOptimisedBuild = false;
#endif
using Limbs = std::vector<uint64_t>;

// ---- GMP oracle helpers ----------------------------------------------------------------------------------------

struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(uint64_t x) { mpz_init_set_ui(v, x); }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
};

void mpz_from_u128(mpz_t out, u128 x) {
    mpz_set_ui(out, static_cast<uint64_t>(x >> 64));
    mpz_mul_2exp(out, out, 64);
    mpz_add_ui(out, out, static_cast<uint64_t>(x));
}

// The integer of limbs[0..n-1], most significant first, base 10^19.
void mpz_from_limbs(mpz_t out, const uint64_t* limbs, int n) {
    mpz_set_ui(out, 0);
    for (int i = 0; i < n; ++i) {
        mpz_mul_ui(out, out, kB);
        mpz_add_ui(out, out, limbs[i]);
    }
}

// x as n base-10^19 digits, most significant first; fails the test when x needs more than n digits. With
// wide_top the first entry takes everything above the lower n - 1 digits (it must still fit one word).
Limbs limbs_from_mpz(const mpz_t x, int n, bool wide_top = false) {
    Limbs out(n);
    Mpz t;
    mpz_set(t.v, x);
    for (int i = n - 1; i >= (wide_top ? 1 : 0); --i) out[i] = mpz_tdiv_q_ui(t.v, t.v, kB);
    if (wide_top) {
        EXPECT_TRUE(mpz_fits_ulong_p(t.v)) << "oracle top limb wider than a word";
        out[0] = mpz_get_ui(t.v);
    } else {
        EXPECT_EQ(mpz_sgn(t.v), 0) << "oracle value wider than " << n << " limbs";
    }
    return out;
}

std::string limbs_text(const uint64_t* limbs, int n) {
    std::string s = "[";
    for (int i = 0; i < n; ++i) {
        if (i != 0) s += ' ';
        s += std::to_string(limbs[i]);
    }
    return s + "]";
}

std::string u128_text(u128 x) {
    Mpz t;
    mpz_from_u128(t.v, x);
    char buf[64];
    gmp_snprintf(buf, sizeof buf, "%Zd", t.v);
    return buf;
}

uint64_t random_limb(std::mt19937_64& rng) {
    return rng() % kB;
}

// Test patterns for the operands of the vector kernels.
enum Pattern { kRandom, kAllMax, kAlternating, kLeadingPow18, kSparse };
const char* const kPatternNames[] = {"random", "all 10^19-1", "alternating 0/10^19-1", "10^18 leading", "sparse"};

Limbs make_limbs(std::mt19937_64& rng, int n, Pattern p, int phase = 0) {
    const uint64_t e18 = 1000000000000000000ull;
    Limbs v(n);
    for (int i = 0; i < n; ++i) {
        const uint64_t r = random_limb(rng);
        if (p == kAllMax) v[i] = kB - 1;
        if (p == kAlternating) v[i] = ((i + phase) & 1) ? kB - 1 : 0;
        if (p == kRandom || p == kLeadingPow18) v[i] = r;
        if (p == kSparse) v[i] = rng() % 5 == 0 ? r : 0;
    }
    if (p == kLeadingPow18) v[0] = e18;
    if (p == kSparse) v[0] = e18 + rng() % (kB - e18);
    return v;
}

// ---- Fixed tables ----------------------------------------------------------------------------------------------

TEST(LimbTables, PowersOfTenAndTheirReciprocals) {
    Mpz p(1), two64, q;
    mpz_ui_pow_ui(two64.v, 2, 64);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(mpz_get_ui(p.v), kPow10[k]) << "10^" << k;
        mpz_fdiv_q(q.v, two64.v, p.v);
        EXPECT_EQ(k == 0 ? 0 : mpz_get_ui(q.v), kPow10Reciprocal[k]) << "reciprocal of 10^" << k;
        mpz_mul_ui(p.v, p.v, 10);
    }
    EXPECT_EQ(kPow10[19], 0x8AC7230489E80000ull);
}

TEST(LimbTables, DigitCountByBitIndexIsFloorOfBLog10TwoPlusOne) {
    for (int b = 0; b < 64; ++b) {
        // b * log10(2) is never within 1e-9 of an integer for 0 < b < 64, so double precision decides the floor
        const int expected = static_cast<int>(std::floor(b * std::log10(2.0))) + 1;
        EXPECT_EQ(kDigitsByBitIndex[b], expected) << "bit index " << b;
    }
}

TEST(LimbTables, SmallDivisorReciprocals) {
    Mpz num, q;
    for (unsigned d = 0; d <= 100; ++d) {
        const bool power_of_two = d != 0 && (d & (d - 1)) == 0;
        uint64_t expected = 0;
        if (d >= 3 && !power_of_two) {
            mpz_ui_pow_ui(num.v, 2, 64 + static_cast<unsigned>(std::floor(std::log2(d))));
            mpz_fdiv_q_ui(q.v, num.v, d);
            expected = mpz_get_ui(q.v);
        }
        EXPECT_EQ(kSmallDivisorReciprocal[d], expected) << "d = " << d;
    }
}

TEST(LimbTables, SplitReciprocalIsFloorOf2To127Over10To19) {
    Mpz num, q;
    mpz_ui_pow_ui(num.v, 2, 127);
    mpz_fdiv_q_ui(q.v, num.v, kB);
    EXPECT_EQ(mpz_get_ui(q.v), kSplitReciprocal);
}

// ---- Word arithmetic -------------------------------------------------------------------------------------------

TEST(LimbWord, SplitBMatchesExactDivision) {
    const u128 kTop = static_cast<u128>(kB) << 64;  // exclusive bound of the argument
    std::vector<u128> xs = {0,
                            1,
                            kB - 1,
                            kB,
                            kB + 1,
                            2 * static_cast<u128>(kB) - 1,
                            kTop - 1,
                            kTop - kB,
                            kTop - kB - 1,
                            static_cast<u128>(UINT64_MAX),
                            static_cast<u128>(UINT64_MAX) + 1};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) {
        const uint64_t q = rng();
        // exact multiples of 10^19 and their neighbours stress the correction loop
        const u128 base = static_cast<u128>(q) * kB;
        const int pick = i % 4;
        if (pick == 0) xs.push_back(base);
        if (pick == 1) xs.push_back(base + kB - 1);
        if (pick == 2) xs.push_back(base + rng() % kB);
        if (pick == 3) xs.push_back((static_cast<u128>(rng() % kB) << 64) | rng());
    }
    for (const u128 x : xs) {
        uint64_t r = 0;
        const uint64_t q = split_b(x, &r);
        ASSERT_EQ(q, static_cast<uint64_t>(x / kB)) << "x = " << u128_text(x);
        ASSERT_EQ(r, static_cast<uint64_t>(x % kB)) << "x = " << u128_text(x);
    }
}

TEST(LimbWord, DivPow10MatchesExactDivision) {
    struct Case {
        uint64_t x;
        int k;
        uint64_t q, r;
    };
    const Case kCases[] = {
        {123456789, 0, 123456789, 0},
        {kB, 19, 1, 0},
        {kB - 1, 19, 0, kB - 1},
        {UINT64_MAX, 19, 1, UINT64_MAX - kB},
        {UINT64_MAX, 1, UINT64_MAX / 10, 5},
        {0, 7, 0, 0},
    };
    for (const auto& c : kCases) {
        uint64_t r = 99;
        EXPECT_EQ(div_pow10(c.x, c.k, &r), c.q) << c.x << " / 10^" << c.k;
        EXPECT_EQ(r, c.r) << c.x << " mod 10^" << c.k;
    }
    std::mt19937_64 rng(12);
    for (int k = 1; k <= 19; ++k) {
        const uint64_t p = kPow10[k];
        for (int i = 0; i < 20000; ++i) {
            uint64_t x = rng();
            if (i % 3 == 0) x = (x / p) * p;          // exact multiple
            if (i % 3 == 1) x = (x / p) * p + p - 1;  // largest remainder
            if (i % 7 == 0) x >>= rng() % 64;
            uint64_t r = 0;
            const uint64_t q = div_pow10(x, k, &r);
            ASSERT_EQ(q, x / p) << "x = " << x << ", k = " << k;
            ASSERT_EQ(r, x % p) << "x = " << x << ", k = " << k;
        }
    }
}

uint64_t reciprocal_of(uint64_t d) {
    if ((d & (d - 1)) == 0) return 0;
    const int s = 63 - __builtin_clzll(d);
    Mpz num, q;
    mpz_ui_pow_ui(num.v, 2, 64 + s);
    mpz_fdiv_q_ui(q.v, num.v, d);
    return mpz_get_ui(q.v);
}

void check_div_wide(uint64_t high, uint64_t low, uint64_t d, uint64_t reciprocal) {
    const u128 x = (static_cast<u128>(high) << 64) | low;
    uint64_t r = 0;
    const uint64_t q = div_wide(&r, high, low, d, reciprocal);
    ASSERT_EQ(q, static_cast<uint64_t>(x / d)) << "x = " << u128_text(x) << ", d = " << d;
    ASSERT_EQ(r, static_cast<uint64_t>(x % d)) << "x = " << u128_text(x) << ", d = " << d;
}

TEST(LimbWord, DivWideSmallDivisorsWithTheTableReciprocal) {
    std::mt19937_64 rng(13);
    for (uint64_t d = 1; d <= 100; ++d) {
        const uint64_t v = kSmallDivisorReciprocal[d];
        check_div_wide(0, 0, d, v);
        check_div_wide(d - 1, UINT64_MAX, d, v);
        check_div_wide(0, d - 1, d, v);
        for (int i = 0; i < 3000; ++i) {
            const uint64_t high = rng() % d;
            uint64_t low = rng();
            // the largest remainder, d - 1, for every other input (with high = 0 the low word is exact)
            if (i % 2 == 0) low = low - low % d + (d - 1);
            ASSERT_NO_FATAL_FAILURE(check_div_wide(high, low, d, v));
        }
        // the inputs div_word produces: r * 10^19 + limb
        for (int i = 0; i < 500; ++i) {
            const u128 t = static_cast<u128>(rng() % d) * kB + random_limb(rng);
            ASSERT_NO_FATAL_FAILURE(check_div_wide(static_cast<uint64_t>(t >> 64), static_cast<uint64_t>(t), d, v));
        }
    }
}

TEST(LimbWord, DivWideLargeDivisors) {
    std::mt19937_64 rng(14);
    for (int i = 0; i < 20000; ++i) {
        uint64_t d = rng() >> (rng() % 60);
        if (d < 2) d = 3;
        if (i % 50 == 0) d = uint64_t{1} << (rng() % 64);  // powers of two take the shift path
        if (i % 97 == 0) d = UINT64_MAX;
        const uint64_t v = reciprocal_of(d);
        const uint64_t high = i % 5 == 0 ? d - 1 : rng() % d;
        const uint64_t low = i % 7 == 0 ? UINT64_MAX : rng();
        ASSERT_NO_FATAL_FAILURE(check_div_wide(high, low, d, v));
    }
    // 10^19 with the split reciprocal, as in converting binary words to base 10^19
    ASSERT_EQ(reciprocal_of(kB), kSplitReciprocal);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t high = i % 5 == 0 ? kB - 1 : rng() % kB;
        ASSERT_NO_FATAL_FAILURE(check_div_wide(high, i % 7 == 0 ? UINT64_MAX : rng(), kB, kSplitReciprocal));
    }
}

TEST(LimbWord, LeadingZeroDigitsEdgeCases) {
    struct Case {
        uint64_t x;
        int expected;
    };
    const Case kCases[] = {
        {0, 18}, {1, 18}, {9, 18}, {10, 17}, {1000000000000000000ull, 0}, {kB - 1, 0}, {kB, -1}, {UINT64_MAX, -1},
    };
    for (const auto& c : kCases) EXPECT_EQ(leading_zero_digits(c.x), c.expected) << c.x;
}

TEST(LimbWord, LeadingZeroDigitsAtEveryPowerOfTenAndTwo) {
    auto digits = [](uint64_t x) { return static_cast<int>(std::to_string(x).size()); };
    std::vector<uint64_t> xs;
    for (int k = 1; k < 20; ++k) {
        xs.push_back(kPow10[k] - 1);
        xs.push_back(kPow10[k]);
        xs.push_back(kPow10[k] + 1);
    }
    for (int b = 0; b < 64; ++b) {
        xs.push_back(uint64_t{1} << b);
        xs.push_back((uint64_t{1} << b) - 1);
        xs.push_back((uint64_t{1} << b) | ((uint64_t{1} << b) - 1));
    }
    for (const uint64_t x : xs) EXPECT_EQ(leading_zero_digits(x), 19 - digits(x)) << x;
}

TEST(LimbWord, RecipSeedIsFloorOf10To37OverX) {
    std::mt19937_64 rng(15);
    const u128 ten37 = static_cast<u128>(kB / 10) * kB;
    std::vector<uint64_t> xs = {1000000000000000000ull, 1000000000000000001ull, kB - 1, 3333333333333333333ull};
    for (int i = 0; i < 100000; ++i) xs.push_back(1000000000000000000ull + rng() % (kB - 1000000000000000000ull));
    for (const uint64_t x : xs) ASSERT_EQ(recip_seed(x), static_cast<uint64_t>(ten37 / x)) << "x = " << x;
}

// ---- Moves -----------------------------------------------------------------------------------------------------

class LimbMoves : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        saved_ = has_wide_moves;
        has_wide_moves = GetParam();
    }
    void TearDown() override { has_wide_moves = saved_; }
    bool saved_ = false;
};

TEST_P(LimbMoves, CopyMoveUpAndZeroAgreeWithMemmoveIncludingOverlaps) {
    std::mt19937_64 rng(16);
    constexpr int kPad = 8;
    for (int n = 0; n <= 41; ++n) {
        for (int shift = 0; shift <= 6; ++shift) {
            Limbs buf(n + 2 * kPad + shift);
            for (auto& w : buf) w = rng();
            // copy: destination below (or equal to, or apart from) the source
            Limbs got = buf, want = buf;
            limbs_copy(got.data() + kPad, got.data() + kPad + shift, n);
            std::memmove(want.data() + kPad, want.data() + kPad + shift, n * sizeof(uint64_t));
            ASSERT_EQ(got, want) << "limbs_copy n = " << n << ", dst = src - " << shift;
            // move up: destination above the source
            got = buf;
            want = buf;
            limbs_move_up(got.data() + kPad + shift, got.data() + kPad, n);
            std::memmove(want.data() + kPad + shift, want.data() + kPad, n * sizeof(uint64_t));
            ASSERT_EQ(got, want) << "limbs_move_up n = " << n << ", dst = src + " << shift;
            got = buf;
            want = buf;
            limbs_zero(got.data() + kPad + shift, n);
            std::memset(want.data() + kPad + shift, 0, n * sizeof(uint64_t));
            ASSERT_EQ(got, want) << "limbs_zero n = " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WideAndNarrow, LimbMoves, ::testing::Values(false, true));

// ---- Vector arithmetic: documented cases -----------------------------------------------------------------------

TEST(LimbVector, DocumentedCases) {
    const uint64_t e18 = 1000000000000000000ull;
    {
        uint64_t a[1] = {e18}, dst[1] = {7};
        EXPECT_EQ(mul_limbs(1, dst, a, a, 1), 0u);
        EXPECT_EQ(dst[0], 100000000000000000ull);
        EXPECT_EQ(mul_limbs_reference(1, dst, a, a, 1), 0u);
        EXPECT_EQ(dst[0], 100000000000000000ull);
    }
    {
        // (B^2 - 1)^2 = B^4 - 2 B^2 + 1: limbs [B-1, B-2, 0, 1]; the top three survive
        uint64_t a[2] = {kB - 1, kB - 1}, dst[2] = {};
        EXPECT_EQ(mul_limbs(2, dst, a, a, 2), 0u);
        EXPECT_EQ(dst[0], kB - 1);
        EXPECT_EQ(dst[1], kB - 2);
        EXPECT_EQ(mul_limbs_reference(2, dst, a, a, 2), 0u);
        EXPECT_EQ(dst[0], kB - 1);
        EXPECT_EQ(dst[1], kB - 2);
    }
    {
        uint64_t src[1] = {e18}, dst[1] = {};
        EXPECT_EQ(div_word(1, dst, src, 3), 3333333333333333333ull);
        EXPECT_EQ(dst[0], 333333333333333333ull);
    }
    {
        uint64_t src[1] = {e18}, dst[1] = {};
        EXPECT_EQ(div_word_shifted(1, dst, src, 3 * e18), 3333333333333333333ull);
        EXPECT_EQ(dst[0], 3333333333333333333ull);
    }
}

// ---- mul_limbs against the rule and against GMP ----------------------------------------------------------------

// Expected truncated product: S = the sum of a[i] b[j] B^(n+m-2-i-j) over i + j <= n + m - 2, then the n + 1
// limbs of floor(S / B^(m-1)). Rows j < m take all of a; row j >= m takes the prefix of a of n + m - 1 - j limbs.
Limbs oracle_truncated_product(const Limbs& a, const Limbs& b, int m) {
    const int n = static_cast<int>(a.size());
    if (m > n) m = n;
    Mpz s, head, prefix, t;
    mpz_from_limbs(head.v, b.data(), m);
    mpz_from_limbs(t.v, a.data(), n);
    mpz_mul(s.v, head.v, t.v);
    for (int len = 1; len <= n - 1; ++len) {
        mpz_mul_ui(prefix.v, prefix.v, kB);
        mpz_add_ui(prefix.v, prefix.v, a[len - 1]);
        const int j = n + m - 1 - len;
        if (j >= m && j <= n - 1) mpz_addmul_ui(s.v, prefix.v, b[j]);
    }
    Mpz scale;
    mpz_ui_pow_ui(scale.v, kB, m - 1);
    mpz_fdiv_q(s.v, s.v, scale.v);
    return limbs_from_mpz(s.v, n + 1);
}

void check_mul(const Limbs& a, const Limbs& b, int m, const char* what, bool with_reference) {
    const int n = static_cast<int>(a.size());
    const Limbs want = oracle_truncated_product(a, b, m);
    Limbs got(n + 1);
    got[n] = mul_limbs(n, got.data(), a.data(), b.data(), m);
    ASSERT_EQ(got, want) << "mul_limbs n = " << n << ", m = " << m << ", " << what
                         << "\na = " << limbs_text(a.data(), n) << "\nb = " << limbs_text(b.data(), n);
    if (with_reference) {
        Limbs ref(n + 1);
        ref[n] = mul_limbs_reference(n, ref.data(), a.data(), b.data(), m);
        ASSERT_EQ(ref, want) << "mul_limbs_reference n = " << n << ", m = " << m << ", " << what
                             << "\na = " << limbs_text(a.data(), n) << "\nb = " << limbs_text(b.data(), n);
    }
}

TEST(LimbMul, EveryLengthUpTo528AgainstGmpAndTheRule) {
    std::mt19937_64 rng(17);
    for (int n = 1; n <= 528; ++n) {
        const int ms[] = {1, 2, n, 1 + static_cast<int>(rng() % n), n + 3};
        // the unoptimised sanitizer build compares the slow literal rule on a spread of lengths only
        const bool with_reference = kOptimisedBuild || n <= 80 || n % 13 == 0 || n >= 526;
        for (const int m : ms) {
            const Limbs a = make_limbs(rng, n, kRandom);
            const Limbs b = make_limbs(rng, n, kRandom);
            ASSERT_NO_FATAL_FAILURE(check_mul(a, b, m, "random", with_reference));
        }
    }
}

TEST(LimbMul, WorstCasePatternsAgainstGmpAndTheRule) {
    std::mt19937_64 rng(18);
    const int ns[] = {1, 2, 3, 4, 5, 7, 8, 16, 31, 53, 64, 100, 255, 256, 299, 300, 301, 397, 527, 528};
    for (const int n : ns) {
        for (int pa = kRandom; pa <= kSparse; ++pa) {
            for (int pb = kAllMax; pb <= kSparse; ++pb) {
                const Limbs a = make_limbs(rng, n, static_cast<Pattern>(pa));
                const Limbs b = make_limbs(rng, n, static_cast<Pattern>(pb), 1);
                const std::string what = std::string(kPatternNames[pa]) + " x " + kPatternNames[pb];
                for (const int m : {1, 2, n / 2 + 1, n}) {
                    ASSERT_NO_FATAL_FAILURE(check_mul(a, b, m, what.c_str(), n <= 100 || m <= 2));
                }
            }
        }
    }
}

// Limbs of 10^19 - 1 and alternating 0 / 10^19 - 1 push every column sum, carry and Karatsuba difference to its
// extreme; the long products split into squares, so every length is checked against the literal rule (the
// unoptimised sanitizer build takes the m = 2 product of like patterns at most lengths, everything on a spread).
TEST(LimbMul, ExtremeLimbsAtEveryLengthMatchTheRule) {
    std::mt19937_64 rng(23);
    for (int n = 1; n <= 528; ++n) {
        const bool all_cases = kOptimisedBuild || n % 7 == 0 || n >= 520;
        for (const Pattern pa : {kAllMax, kAlternating}) {
            for (const Pattern pb : {kAllMax, kAlternating}) {
                if (!all_cases && pa != pb) continue;
                const Limbs a = make_limbs(rng, n, pa);
                const Limbs b = make_limbs(rng, n, pb, n & 1);
                for (const int m : {2, 1, n / 2 > 0 ? n / 2 : 1}) {
                    if (!all_cases && m != 2) continue;
                    Limbs got(n + 1), ref(n + 1);
                    got[n] = mul_limbs(n, got.data(), a.data(), b.data(), m);
                    ref[n] = mul_limbs_reference(n, ref.data(), a.data(), b.data(), m);
                    ASSERT_EQ(got, ref) << "n = " << n << ", m = " << m << ", " << kPatternNames[pa] << " x "
                                        << kPatternNames[pb];
                }
            }
        }
    }
}

TEST(LimbMul, DestinationMayBeAnOperand) {
    std::mt19937_64 rng(19);
    for (const int n : {1, 2, 3, 9, 40, 300, 528}) {
        for (const int m : {1, 2, n}) {
            const Limbs a = make_limbs(rng, n, kRandom);
            const Limbs b = make_limbs(rng, n, kRandom);
            const Limbs want = oracle_truncated_product(a, b, m);
            Limbs x = a;
            uint64_t guard = mul_limbs(n, x.data(), x.data(), b.data(), m);
            x.push_back(guard);
            EXPECT_EQ(x, want) << "dst == a, n = " << n << ", m = " << m;
            Limbs y = b;
            guard = mul_limbs(n, y.data(), a.data(), y.data(), m);
            y.push_back(guard);
            EXPECT_EQ(y, want) << "dst == b, n = " << n << ", m = " << m;
            Limbs z = a;
            guard = mul_limbs(n, z.data(), z.data(), z.data(), m);
            z.push_back(guard);
            EXPECT_EQ(z, oracle_truncated_product(a, a, m)) << "dst == a == b, n = " << n << ", m = " << m;
        }
    }
}

// ---- mul_word, div_word, div_word_shifted against GMP ----------------------------------------------------------

TEST(LimbMulWord, MatchesGmpProduct) {
    std::mt19937_64 rng(20);
    const uint64_t kWords[] = {0, 1, 10, kB - 1, kB, UINT64_MAX};
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 40);
        const Limbs src = make_limbs(rng, n, static_cast<Pattern>(trial % 5));
        const uint64_t w = trial % 4 == 0 ? kWords[(trial / 4) % 6] : rng() >> (rng() % 64);
        Mpz s;
        mpz_from_limbs(s.v, src.data(), n);
        mpz_mul_ui(s.v, s.v, w);
        const Limbs want = limbs_from_mpz(s.v, n + 1, true);  // the overflow limb reaches w - 1 when w > 10^19
        Limbs got(n + 1);
        got[n] = mul_word(n, got.data(), src.data(), w);
        ASSERT_EQ(got, want) << "src = " << limbs_text(src.data(), n) << ", w = " << w;
        Limbs in_place = src;
        in_place.push_back(mul_word(n, in_place.data(), in_place.data(), w));
        ASSERT_EQ(in_place, want) << "in place, src = " << limbs_text(src.data(), n) << ", w = " << w;
    }
}

// div_word gives the n + 1 limbs of floor(S * B / d).
void check_div_word(const Limbs& src, uint64_t d) {
    const int n = static_cast<int>(src.size());
    Mpz s;
    mpz_from_limbs(s.v, src.data(), n);
    mpz_mul_ui(s.v, s.v, kB);
    mpz_fdiv_q_ui(s.v, s.v, d);
    const Limbs want = limbs_from_mpz(s.v, n + 1);
    Limbs got(n + 1);
    got[n] = div_word(n, got.data(), src.data(), d);
    ASSERT_EQ(got, want) << "src = " << limbs_text(src.data(), n) << ", d = " << d;
    Limbs in_place = src;
    in_place.push_back(div_word(n, in_place.data(), in_place.data(), d));
    ASSERT_EQ(in_place, want) << "in place, src = " << limbs_text(src.data(), n) << ", d = " << d;
}

TEST(LimbDivWord, EverySmallDivisorTakesTheReciprocalPath) {
    std::mt19937_64 rng(21);
    for (uint64_t d = 1; d <= 100; ++d) {
        for (int trial = 0; trial < 40; ++trial) {
            const int n = 1 + static_cast<int>(rng() % 24);
            ASSERT_NO_FATAL_FAILURE(check_div_word(make_limbs(rng, n, static_cast<Pattern>(trial % 5)), d));
        }
    }
}

TEST(LimbDivWord, LargeDivisorsTakeTheHardwarePath) {
    std::mt19937_64 rng(22);
    const uint64_t kDivisors[] = {101, 102, 127, 128, kB - 1, kB, kB + 1, UINT64_MAX, uint64_t{1} << 63};
    for (const uint64_t d : kDivisors) {
        for (int trial = 0; trial < 50; ++trial) {
            ASSERT_NO_FATAL_FAILURE(
                check_div_word(make_limbs(rng, 1 + trial % 17, static_cast<Pattern>(trial % 5)), d));
        }
    }
    for (int trial = 0; trial < 3000; ++trial) {
        uint64_t d = rng() >> (rng() % 57);
        if (d <= 100) d += 101;
        const int n = 1 + static_cast<int>(rng() % 30);
        ASSERT_NO_FATAL_FAILURE(check_div_word(make_limbs(rng, n, static_cast<Pattern>(trial % 5)), d));
    }
}

TEST(LimbDivWordShifted, MatchesGmpQuotientOfSTimesBSquared) {
    std::mt19937_64 rng(23);
    for (int trial = 0; trial < 5000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 30);
        Limbs src = make_limbs(rng, n, static_cast<Pattern>(trial % 5));
        uint64_t d = rng() >> (rng() % 63);
        if (trial % 3 == 0) d = src[0] + 1 + rng() % 3;  // the tightest allowed divisors
        if (d <= src[0]) d = src[0] + 1;
        Mpz s;
        mpz_from_limbs(s.v, src.data(), n);
        mpz_mul_ui(s.v, s.v, kB);
        mpz_mul_ui(s.v, s.v, kB);
        mpz_fdiv_q_ui(s.v, s.v, d);
        const Limbs want = limbs_from_mpz(s.v, n + 1);
        Limbs got(n + 1);
        got[n] = div_word_shifted(n, got.data(), src.data(), d);
        ASSERT_EQ(got, want) << "src = " << limbs_text(src.data(), n) << ", d = " << d;
        Limbs in_place = src;
        in_place.push_back(div_word_shifted(n, in_place.data(), in_place.data(), d));
        ASSERT_EQ(in_place, want) << "in place, src = " << limbs_text(src.data(), n) << ", d = " << d;
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
    const uint16_t saved = extended_begin();
    const uint16_t inside = read_x87_control();
    // 2^64 - 1 needs the 64-bit significand; the product rounds to nearest
    const ExtendedFloat x = extended_mul_u64(extended_from_u64(UINT64_MAX), 1);
    const uint64_t back = extended_to_u64(x);
    extended_end(saved);
    const uint16_t after = read_x87_control();
    write_x87_control(original);
    EXPECT_EQ(saved, odd);
    EXPECT_EQ(inside & 0x0F3Fu, 0x033Fu);
    EXPECT_EQ(inside & ~0x0F3Fu, odd & ~0x0F3Fu);
    EXPECT_EQ(after, odd);
    EXPECT_EQ(back, UINT64_MAX);
}

TEST(LimbExtended, FromU64IsExactUnderAnyPrecisionControl) {
    const uint16_t original = read_x87_control();
    write_x87_control(static_cast<uint16_t>((original & ~0x0300u) | 0x0200u));  // 53-bit significand
    const uint64_t kWords[] = {UINT64_MAX, (uint64_t{1} << 63) + 1, (uint64_t{1} << 63) - 1, 12345678901234567891ull};
    for (const uint64_t w : kWords) EXPECT_EQ(extended_to_u64(extended_from_u64(w)), w) << w;
    write_x87_control(original);
}

TEST(LimbExtended, ToU64RoundsHalfUpAndRejectsOutOfRange) {
    struct Case {
        long double x;
        uint64_t expected;
    };
    const Case kCases[] = {
        {0.0L, 0},
        {0.999L, 0},
        {-5.0L, 0},
        {1.0L, 1},
        {1.49L, 1},
        {1.5L, 2},
        {2.5L, 3},
        {4611686018427387904.5L, 4611686018427387905ull},  // 2^62 + 1/2
        {9223372036854775809.0L, 9223372036854775809ull},  // 2^63 + 1, no fraction bits
        {18446744073709551615.0L, UINT64_MAX},
        {18446744073709551616.0L, 0},
        {1e30L, 0},
        {__builtin_nanl(""), 0},
        {__builtin_infl(), 0},
    };
    for (const auto& c : kCases) EXPECT_EQ(extended_to_u64(c.x), c.expected) << static_cast<double>(c.x);
    std::mt19937_64 rng(24);
    for (int i = 0; i < 10000; ++i) {
        const uint64_t x = rng() >> (rng() % 63);
        if (x == 0) continue;
        ASSERT_EQ(extended_to_u64(extended_from_u64(x)), x) << x;
    }
}

// The seeds as the root iterations use them: sqrt of x * 10^19 (a 19-digit root) and the cube root of
// x * 10^38 (a 19-digit root), x a leading limb in [10^18, 10^19), compared with MPFR at 200 bits.
TEST(LimbExtended, SquareRootSeedGoodTo19Digits) {
    const uint16_t saved = extended_begin();
    std::mt19937_64 rng(25);
    mpfr_t exact, diff;
    mpfr_inits2(200, exact, diff, static_cast<mpfr_ptr>(nullptr));
    double worst = 0;
    for (int i = 0; i < 20000; ++i) {
        const uint64_t x = 1000000000000000000ull + rng() % (kB - 1000000000000000000ull);
        const uint64_t seed = extended_to_u64(extended_sqrt(extended_mul_u64(extended_from_u64(x), kB)));
        mpfr_set_ui(exact, x, MPFR_RNDN);
        mpfr_mul_ui(exact, exact, kB, MPFR_RNDN);
        mpfr_sqrt(exact, exact, MPFR_RNDN);
        mpfr_sub_ui(diff, exact, seed, MPFR_RNDN);
        const double err = std::fabs(mpfr_get_d(diff, MPFR_RNDN));
        worst = std::max(worst, err);
        ASSERT_LT(err, 1.5) << "x = " << x << ", seed = " << seed;
    }
    mpfr_clears(exact, diff, static_cast<mpfr_ptr>(nullptr));
    extended_end(saved);
    RecordProperty("worst_abs_error", std::to_string(worst));
}

TEST(LimbExtended, CubeRootSeedViaPowGoodTo17Digits) {
    const uint16_t saved = extended_begin();
    std::mt19937_64 rng(26);
    mpfr_t exact, diff;
    mpfr_inits2(200, exact, diff, static_cast<mpfr_ptr>(nullptr));
    const ExtendedFloat third = 1.0L / 3.0L;
    for (int i = 0; i < 20000; ++i) {
        const uint64_t x = 1000000000000000000ull + rng() % (kB - 1000000000000000000ull);
        const ExtendedFloat v = extended_mul_u64(extended_mul_u64(extended_from_u64(x), kB), kB);
        const uint64_t seed = extended_to_u64(extended_pow(v, third));
        mpfr_set_ui(exact, x, MPFR_RNDN);
        mpfr_mul_ui(exact, exact, kB, MPFR_RNDN);
        mpfr_mul_ui(exact, exact, kB, MPFR_RNDN);
        mpfr_cbrt(exact, exact, MPFR_RNDN);
        mpfr_sub_ui(diff, exact, seed, MPFR_RNDN);
        mpfr_div(diff, diff, exact, MPFR_RNDN);
        ASSERT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), 1e-17) << "x = " << x << ", seed = " << seed;
    }
    // small and fractional arguments: integer part of y * log2 x of either sign
    struct Case {
        long double x, y;
    };
    const Case kCases[] = {{2.0L, 0.5L}, {10.0L, 3.0L}, {0.001L, 1.0L / 3.0L}, {1e-30L, 0.25L}, {7.0L, -2.0L}};
    for (const auto& c : kCases) {
        const long double got = extended_pow(c.x, c.y);
        const long double want = powl(c.x, c.y);
        EXPECT_LT(fabsl(got - want) / want, 1e-18L) << static_cast<double>(c.x) << " ^ " << static_cast<double>(c.y);
    }
    mpfr_clears(exact, diff, static_cast<mpfr_ptr>(nullptr));
    extended_end(saved);
}

}  // namespace
