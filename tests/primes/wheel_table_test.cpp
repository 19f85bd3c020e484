#include "primes/wheel_table.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "support/prime_context.h"

namespace {

TEST(WheelTable, SmallPrimesAreThePrimesBelow1000) {
    mpz_class p = 1;
    for (int i = 0; i < kSmallPrimeCount; ++i) {
        mpz_nextprime(p.get_mpz_t(), p.get_mpz_t());
        EXPECT_EQ(small_prime_table[i], p.get_ui()) << i;
    }
    EXPECT_EQ(small_prime_table.back(), 997);  // the next prime is 1009
}

TEST(WheelTable, WalksThePrimesBelow19AndThenTheNumbersCoprimeTo30030) {
    // Three periods: after the last increment the walk resumes at index 7.
    const uint64_t kFirst[] = {2, 3, 5, 7, 11, 13, 17};
    uint64_t v = 1, expected = 1;
    for (int step = 0, index = 0; step < kWheelRestartIndex + 3 * 5760; ++step) {
        if (step < kWheelRestartIndex) expected = kFirst[step];
        if (step >= kWheelRestartIndex) {
            do ++expected;
            while (std::gcd(expected, kWheelPeriod) != 1);
        }
        v += wheel_gap_table[index];
        ASSERT_EQ(v, expected) << "step " << step;
        index = index + 1 == kWheelGapCount ? kWheelRestartIndex : index + 1;
    }
}

TEST(WheelNextDivisor, FindsDivisorsInOrderAndResumes) {
    PrimeContext context(kExactIntLimbs);
    StopFlag stop{0};
    // Every candidate that divides n, up to the limit, in increasing order: composite candidates as well.
    struct Case {
        uint64_t lo, hi, limit;
        std::vector<uint64_t> divisors;
    };
    const Case kCases[] = {
        {2 * 9 * 19 * 30059ull, 0, 100000, {2, 3, 19, 30059}},  // 30059: a prime of the second period
        {2 * 19 * 23ull, 0, 1000, {2, 19, 23, 437}},            // 437 = 19 * 23 is a candidate too
        {0, 1, 100, {2}},                                       // 2^64
        {1, 1, 1000, {}},                                       // 2^64 + 1 = 274177 * 67280421310721
        {1, 1, 300000, {274177}},
        {35, 0, 4, {}},                            // 5 and 7 lie above the limit 4
        {UINT64_MAX, UINT64_MAX, 20, {3, 5, 17}},  // 2^128 - 1
    };
    for (const auto& c : kCases) {
        const uint64_t n[2] = {c.lo, c.hi};
        WheelPosition position = kWheelFromTwo;
        std::vector<uint64_t> found;
        for (uint64_t d; (d = wheel_next_divisor(n, c.limit, &position, stop)) != 0;) found.push_back(d);
        EXPECT_EQ(found, c.divisors) << c.lo << " + 2^64 * " << c.hi;
    }
}

TEST(WheelNextDivisor, StopsAtTheWordEndAndOnTheStopFlag) {
    PrimeContext context(kExactIntLimbs);
    StopFlag stop{0};
    // A position close to the end of the word range: the next candidate would overflow.
    const uint64_t n[2] = {UINT64_MAX - 1, UINT64_MAX};  // 2^128 - 2, not divisible by any odd candidate tried here
    WheelPosition position{UINT64_MAX - 5, kWheelRestartIndex + 1};  // next gaps are at least 2
    EXPECT_EQ(wheel_next_divisor(n, UINT64_MAX, &position, stop), 0u);
    StopFlag stopped{1};
    WheelPosition start = kWheelFromTwo;
    const uint64_t even[2] = {1000, 0};
    EXPECT_EQ(wheel_next_divisor(even, 1000, &start, stopped), 0u);
    EXPECT_EQ(start.divisor, 1u) << "no candidate is tried once the flag is set";
}

TEST(TrialRemainder, MatchesGmpOnManyWords) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 500; ++i) {
        uint64_t words[129];
        const int count = 1 + static_cast<int>(rng() % 129);
        for (int k = 0; k < count; ++k) words[k] = rng();
        const uint64_t d = 1 + rng() % (i % 2 == 0 ? 1000 : UINT64_MAX);
        mpz_class a;
        mpz_import(a.get_mpz_t(), static_cast<size_t>(count), -1, 8, 0, 0, words);
        EXPECT_EQ(trial_remainder(words, count, d), mpz_fdiv_ui(a.get_mpz_t(), d)) << count << " words by " << d;
    }
}

}  // namespace
