#include "primes/prime_factors.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/prime_context.h"

namespace {

struct JobResult {
    std::vector<std::string> lines;  // one per piece
    uint32_t message;
    std::string param;
};

JobResult run_job(const std::string& n, uint32_t k, bool divisors, bool count = false, int base = 10,
                  uint32_t flags = 0, ExactAlgorithm algorithm = ExactAlgorithm::kProven) {
    PrimeContext context(kExactIntLimbs);
    SPrimeFactorCalc job{divisors, count, {}, k, flags, 1, base};
    mpz_export(job.number, nullptr, -1, 8, 0, 0, mpz_class(n, base).get_mpz_t());
    Pieces out;
    StopFlag stop{0};
    run_factor_job(job, out.sink(), stop, algorithm);
    return {out.list, message_state.message_code, utf16_to_utf8(message_state.message_param1)};
}

constexpr uint32_t kDivisors = 1, kCount = 2, kGroup = 4;
const char* const kMax128 = "340282366920938463463374607431768211455";  // 2^128 - 1
const char* const kMax128Factors = " = 3 * 5 * 17 * 257 * 641 * 65537 * 274177 * 6700417 * 67280421310721\r\n";

struct LineCase {
    const char* n;
    uint32_t k, flags;  // kDivisors, kCount, kGroup
    int base;
    std::string text;  // the lines one after the other
    uint32_t message;
};

// clang-format off
const LineCase kLineCases[] = {
    {"1", 1, 0, 10, "1 = Number has no prime factors!\r\n", 0},
    {"1", 1, kDivisors, 10, "D 1 = { 1 }\r\n", 0},
    {"360", 1, 0, 10, "360 = 2^3 * 3^2 * 5\r\n", 0},
    {"360", 1, kDivisors | kCount, 10,
     "D 360 = { 1, 2, 3, 4, 5, 6, 8, 9, 10, 12, 15, 18, 20, 24, 30, 36, 40, 45, 60, 72, 90, 120, 180, 360 }  [24]\r\n", 0},
    {"170141183460469231731687303715884105728", 1, 0, 10, "170141183460469231731687303715884105728 = 2^127\r\n", 0},
    {"170141183460469231731687303715884105727", 1, 0, 10,
     "170141183460469231731687303715884105727 = 170141183460469231731687303715884105727\r\n", 0},
    {"80000000000000000000000000000000", 1, kGroup, 16, "8000'0000'0000'0000'0000'0000'0000'0000 = 2^7F\r\n", 0},
    {"10000", 1, kDivisors | kGroup, 16,
     "D 1'0000 = { 1, 2, 4, 8, 10, 20, 40, 80, 100, 200, 400, 800, 1000, 2000, 4000, 8000, 1'0000 }\r\n", 0},
    {"1000000", 1, kGroup, 10, "1'000'000 = 2^6 * 5^6\r\n", 0},
    {kMax128, 1, 0, 10, std::string(kMax128) + kMax128Factors, 0},
    // The next number would pass 2^128 - 1: one line, then the overflow message.
    {kMax128, 2, 0, 10, std::string(kMax128) + kMax128Factors, kMsgFactorOverflow},
    {"7", 4, 0, 10, "7 = 7\r\n8 = 2^3\r\n9 = 3^2\r\n10 = 2 * 5\r\n", 0},
    {"304250263527210", 1, 0, 10,
     "304250263527210 = 2 * 3 * 5 * 7 * 11 * 13 * 17 * 19 * 23 * 29 * 31 * 37 * 41\r\n", 0},
    {"18446744073709551617", 1, 0, 10, "18446744073709551617 = 274177 * 67280421310721\r\n", 0},
    // Divisors of two words are ordered from the top word down.
    {"18446744073709551617", 1, kDivisors, 10,
     "D 18446744073709551617 = { 1, 274177, 67280421310721, 18446744073709551617 }\r\n", 0},
};
// clang-format on

TEST(FactorJob, WritesTheDocumentedLines) {
    for (const auto& c : kLineCases) {
        const JobResult r = run_job(c.n, c.k, c.flags & kDivisors, c.flags & kCount, c.base,
                                    (c.flags & kGroup) != 0 ? kPrimeFormatGroupDigits : 0u);
        std::string text;
        for (const auto& line : r.lines) {
            EXPECT_EQ(line.find("\r\n"), line.size() - 2) << c.n << ": one line per piece";
            text += line;
        }
        EXPECT_EQ(text, c.text) << c.n;
        EXPECT_EQ(r.message, c.message) << c.n;
    }
}

// The primorial of the 12 primes up to 37 has the most divisors allowed, 4096.
TEST(FactorJob, ListsTheDivisorsOfThe12PrimePrimorialAndCutsLongLines) {
    mpz_class n;
    mpz_primorial_ui(n.get_mpz_t(), 37);
    std::vector<uint64_t> divisors{1};
    for (uint64_t p : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
        for (size_t i = 0, end = divisors.size(); i < end; ++i) divisors.push_back(divisors[i] * p);
    }
    std::sort(divisors.begin(), divisors.end());
    auto line = [&](int base) {
        std::string text = "D " + n.get_str(base) + " = { ";
        for (size_t i = 0; i < divisors.size(); ++i) text += (i ? ", " : "") + mpz_class(divisors[i]).get_str(base);
        return text + " }\r\n";
    };
    EXPECT_EQ(run_job(n.get_str(), 1, true).lines, std::vector<std::string>{line(10)});
    // In base 2 the line passes 45051 characters: it is cut there and ends in "...\r\n".
    EXPECT_EQ(run_job(n.get_str(2), 1, true, true, 2).lines,
              std::vector<std::string>{line(2).substr(0, kFactorLineChars) + "...\r\n"});

    // 8192 divisors are too many (the factorisation of the number is in the table above).
    const JobResult r = run_job("304250263527210", 1, true);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.message, kMsgTooManyFactors);
    EXPECT_EQ(r.param, "304250263527210");
}

// Wherever trial division alone finishes, both paths write the same lines.
TEST(FactorJob, TrialDivisionAndProvenPathsWriteTheSameLines) {
    struct Window {
        const char* n;
        uint32_t k;
        bool divisors;
    };
    const Window kWindows[] = {
        {"1", 5000, false},
        {"1", 600, true},
        {"16777000", 600, false},  // around 2^24, where the cofactor first passes the trial bound squared
        {"1099511627000", 200, false},
        {"1099511627000", 100, true},
    };
    for (const auto& w : kWindows) {
        const JobResult trial = run_job(w.n, w.k, w.divisors, true, 10, 0, ExactAlgorithm::kTrialDivision);
        const JobResult proven = run_job(w.n, w.k, w.divisors, true, 10, 0);
        ASSERT_EQ(proven.lines.size(), trial.lines.size()) << w.n;
        for (size_t i = 0; i < trial.lines.size(); ++i) ASSERT_EQ(proven.lines[i], trial.lines[i]) << w.n << " + " << i;
        EXPECT_EQ(proven.message, trial.message) << w.n;
    }
}

// Products of random primes of mixed sizes, the first up to 111 bits and so the cofactor found last, against the
// factorisation they were built from.
TEST(FactorJob, FactorsProductsOfRandomPrimes) {
    std::mt19937_64 rng(1206);
    for (int i = 0; i < 1500; ++i) {
        std::map<mpz_class, int> primes;
        mpz_class n = 1;
        for (int j = 0, count = 1 + static_cast<int>(rng() % 6); j < count; ++j) {
            mpz_class p = (mpz_class(rng()) << 64) + rng();
            mpz_fdiv_r_2exp(p.get_mpz_t(), p.get_mpz_t(), 2 + rng() % (j == 0 ? 110 : 16));
            mpz_nextprime(p.get_mpz_t(), p.get_mpz_t());
            for (uint64_t e = 0, power = j == 0 ? 1 : 1 + rng() % 3;
                 e < power && mpz_sizeinbase(n.get_mpz_t(), 2) + mpz_sizeinbase(p.get_mpz_t(), 2) <= 127; ++e) {
                n *= p;
                ++primes[p];
            }
        }
        std::string line;
        for (const auto& [p, e] : primes) {
            line += " * " + p.get_str() + (e > 1 ? '^' + std::to_string(e) : std::string());
        }
        EXPECT_EQ(run_job(n.get_str(), 1, false).lines,
                  std::vector<std::string>{n.get_str() + " =" + line.substr(2) + "\r\n"});
    }
}

TEST(Factorize, RefusesOtherWidthsAndEndsAtOnceWhenStopped) {
    PrimeContext context(kExactIntLimbs);
    StopFlag go{0}, stopped{1};
    FactorList f;
    const uint64_t zero[3] = {0, 0, 0}, twelve[3] = {12, 0, 0};
    factorize(&f, zero, go);
    EXPECT_EQ(f.count, 0);
    num_ctx.int_limbs = 3;
    factorize(&f, twelve, go);
    EXPECT_EQ(f.count, -1);
    num_ctx.int_limbs = kExactIntLimbs;
    // 2^127 - 1 is prime: trial division alone would run for ages without the stop flag, and ends at once with it
    // (the entry it leaves is discarded by the job). The proven path stops inside the proof.
    const uint64_t mersenne[2] = {UINT64_MAX, UINT64_MAX >> 1};
    factorize(&f, mersenne, stopped, ExactAlgorithm::kTrialDivision);
    EXPECT_EQ(f.count, 1);
    factorize(&f, mersenne, stopped);
    EXPECT_LE(f.count, 1);
}

TEST(FactorJob, DivisorListsMatchABruteForceSearch) {
    std::mt19937_64 rng(99);
    std::vector<uint64_t> numbers{720720, 735134400, 3491888400, 963761198400ull, 97821761637600ull};
    for (uint64_t x = 1; x <= 2500; ++x) numbers.push_back(x);
    for (int i = 0; i < 40; ++i) numbers.push_back(1 + rng() % 1000000000000ull);
    for (uint64_t x : numbers) {
        std::vector<uint64_t> divisors;
        for (uint64_t d = 1; d * d <= x; ++d) {
            if (x % d == 0) divisors.push_back(d);
            if (x % d == 0 && d * d != x) divisors.push_back(x / d);
        }
        std::sort(divisors.begin(), divisors.end());
        std::string line = "D " + std::to_string(x) + " = { ";
        for (size_t i = 0; i < divisors.size(); ++i) line += (i ? ", " : "") + std::to_string(divisors[i]);
        const JobResult r = run_job(std::to_string(x), 1, true);
        if (divisors.size() > static_cast<size_t>(kMaxDivisors)) {
            EXPECT_EQ(r.message, kMsgTooManyFactors) << x;
        } else {
            EXPECT_EQ(r.lines, std::vector<std::string>{line + " }\r\n"}) << x;
        }
    }
}

// Exponents outside 1 .. 255 and more than 4096 divisors are refused; 13 primes (too many on one level) are refused
// in the job above.
TEST(Divisors, EnforceTheLimits) {
    auto f = std::make_unique<FactorList>();
    auto d = std::make_unique<DivisorList>();
    const std::pair<std::vector<uint64_t>, int64_t> kCases[] = {
        {{0}, -1}, {{256}, -1}, {{9, 7, 3, 2, 1, 1}, 3840}, {{15, 7, 3, 2, 1, 1}, -1},  // the last: 6144 divisors
    };
    for (const auto& [exponents, count] : kCases) {
        f->count = static_cast<int64_t>(exponents.size());
        for (size_t i = 0; i < exponents.size(); ++i) {
            f->primes[i][0] = small_prime_table[i];
            f->primes[i][1] = 0;
            f->exponents[i] = exponents[i];
        }
        enumerate_divisors(d.get(), f.get());
        EXPECT_EQ(d->count, count) << exponents.size() << " primes";
    }
    f->count = -1;
    enumerate_divisors(d.get(), f.get());
    EXPECT_EQ(d->count, -1);
}

}  // namespace
