#include "primes/prime_numbers.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/prime_context.h"

namespace {

// radix^e + offset.
mpz_class power(unsigned long radix, unsigned long e, long offset = 0) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), radix, e);
    return r + offset;
}

struct JobResult {
    std::string text;
    uint32_t message;
};

JobResult run_job(uint32_t method, uint32_t mode, const mpz_class& n, int32_t k, int base = 10, uint32_t flags = 0,
                  ExactAlgorithm algorithm = ExactAlgorithm::kProven, uint8_t stopped = 0) {
    PrimeContext context(method == kPrimeMethodExact ? kExactIntLimbs : kProbabilisticIntLimbs);
    static SPrimeNumberCalc job;
    job = SPrimeNumberCalc{method, mode, {}, mode == kPrimeModeInterval ? k : kPrimeIntervalMax, flags, 1, base};
    mpz_export(job.number, nullptr, -1, 8, 0, 0, n.get_mpz_t());
    Pieces out;
    StopFlag stop{stopped};
    run_prime_job(job, out.sink(), stop, algorithm);
    return {out.text, message_state.message_code};
}

// The oracles write the output out from its rules, GMP deciding primality.
std::string oracle_number(const mpz_class& x, int base, bool group) {
    const std::string digits = x.get_str(-base);  // upper-case digits
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (group && i > 0 && (digits.size() - i) % (base == 10 ? 3 : 4) == 0) out += '\'';
        out += digits[i];
    }
    return out;
}

// The interval's text: ", " before all but the first prime (2 characters of the line), and "\r\n" before a number
// that would carry the line past 115 characters; the first line starts with "{ ".
std::string oracle_interval(const mpz_class& n, long k, int base = 10, bool group = false) {
    std::string out = "Prime numbers from " + oracle_number(n, base, group) + " to " +
                      oracle_number(n + (k - 1), base, group) + ":\r\n{ ";
    int line = 2;
    long found = 0;
    for (mpz_class x = n; x < n + k; ++x) {
        if (mpz_probab_prime_p(x.get_mpz_t(), 30) == 0) continue;
        const std::string number = oracle_number(x, base, group);
        if (found++ > 0) out += ", ";
        line += static_cast<int>(number.size()) + (found > 1 ? 2 : 0);
        if (line > kPrimeLineChars) {
            out += "\r\n";
            line = static_cast<int>(number.size());
        }
        out += number;
    }
    return out + " }\r\nNumber of prime numbers: " + std::to_string(found) + "\r\n";
}

bool has_factor_below(const mpz_class& n, unsigned long limit) {
    for (unsigned long p = 2; p < limit; ++p) {
        if (mpz_divisible_ui_p(n.get_mpz_t(), p)) return true;
    }
    return false;
}

// The probabilistic verdict from its definition: the table up to 1008, trial division by the primes below 1000, and
// the Euler tests 2^e and 3^e mod n (e = (n - 1) / 2) against the Jacobi symbols.
bool oracle_is_composite(const mpz_class& n) {
    if (n <= 1008) return mpz_probab_prime_p(n.get_mpz_t(), 30) == 0;
    if (has_factor_below(n, 1000)) return true;
    const mpz_class n1 = n - 1, e = n1 / 2;
    for (const mpz_class b : {2, 3}) {
        mpz_class r;
        mpz_powm(r.get_mpz_t(), b.get_mpz_t(), e.get_mpz_t(), n.get_mpz_t());
        if (r != (mpz_jacobi(b.get_mpz_t(), n.get_mpz_t()) == 1 ? mpz_class(1) : n1)) return true;
    }
    return false;
}

constexpr uint32_t kExact = kPrimeMethodExact, kProb = kPrimeMethodProbabilistic, kBoth = kExact | kProb;
constexpr uint32_t kTest = kPrimeModeTest, kNext = kPrimeModeNext, kInterval = kPrimeModeInterval;
constexpr uint32_t kGroup = kPrimeFormatGroupDigits;
const char* const kMax128 = "340282366920938463463374607431768211455";  // 2^128 - 1 = 3 * 5 * 17 * ...

struct OutputCase {
    uint32_t methods, mode;  // methods: kExact, kProb or both
    const char* n;
    int32_t k, base;
    uint32_t flags;
    std::string text;
    uint32_t message;
};

// clang-format off
const OutputCase kOutputCases[] = {
    {kBoth, kTest, "1", 0, 10, 0, "1 is not a prime number.\r\n", 0},
    {kBoth, kTest, "2", 0, 10, 0, "2 is a prime number.\r\n", 0},
    {kExact, kTest, kMax128, 0, 10, 0, std::string(kMax128) + " is not a prime number.\r\n", 0},
    {kExact, kInterval, "1", 2, 10, 0, "Prime numbers from 1 to 2:\r\n{ 2 }\r\nNumber of prime numbers: 1\r\n", 0},
    {kBoth, kInterval, "10", 10, 10, 0,
     "Prime numbers from 10 to 19:\r\n{ 11, 13, 17, 19 }\r\nNumber of prime numbers: 4\r\n", 0},
    {kBoth, kNext, "1", 0, 10, 0, "Next prime number:\r\n2", 0},
    {kExact, kNext, "13", 0, 10, 0, "Next prime number:\r\n13", 0},
    {kExact, kNext, "14", 0, 10, 0, "Next prime number:\r\n17", 0},
    {kExact, kNext, "1000000", 0, 10, kGroup, "Next prime number:\r\n1'000'003", 0},
    {kExact, kInterval, "FFFFFFF0", 32, 16, kGroup,
     "Prime numbers from FFFF'FFF0 to 1'0000'000F:\r\n{ FFFF'FFFB, 1'0000'000F }\r\nNumber of prime numbers: 2\r\n", 0},
    {kProb, kInterval, "11111", 8, 2, kGroup,
     "Prime numbers from 1'1111 to 10'0110:\r\n{ 1'1111, 10'0101 }\r\nNumber of prime numbers: 2\r\n", 0},
    // Passing 2^128 - 1: in the header (which stops after " to "), and in the step to the next candidate.
    {kExact, kInterval, kMax128, 2, 10, 0, std::string("Prime numbers from ") + kMax128 + " to ", kMsgPrimeOverflow},
    {kExact, kNext, kMax128, 0, 10, 0, "Next prime number:\r\n", kMsgPrimeOverflow},
    {kExact, kInterval, "340282366920938463463374607431768211453", 3, 10, 0,
     std::string("Prime numbers from 340282366920938463463374607431768211453 to ") + kMax128 +
         ":\r\n{  }\r\nNumber of prime numbers: 0\r\n", 0},
};
// clang-format on

TEST(PrimeJob, WritesTheDocumentedOutputs) {
    for (const auto& c : kOutputCases) {
        for (uint32_t method : {kExact, kProb}) {
            if ((c.methods & method) == 0) continue;
            const JobResult r = run_job(method, c.mode, mpz_class(c.n, c.base), c.k, c.base, c.flags);
            EXPECT_EQ(r.text, c.text) << c.n << " method " << method << " mode " << c.mode << " k " << c.k;
            EXPECT_EQ(r.message, c.message) << c.n << " method " << method << " mode " << c.mode;
        }
    }
}

TEST(PrimeJob, OverflowsFrom2To4128OnWhenTheEulerTestsAreNeeded) {
    mpz_class n = power(2, 4128);  // even: decided without a product
    JobResult r = run_job(kProb, kTest, n, 0);
    EXPECT_EQ(r.text, n.get_str() + " is not a prime number.\r\n");
    EXPECT_EQ(r.message, 0u);
    for (n = power(2, 4128, 1); has_factor_below(n, 1000);) n += 2;
    r = run_job(kProb, kTest, n, 0);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.message, kMsgPrimeOverflow) << n.get_str();
    n = power(2, 4128, -1);  // below the boundary the products fit
    r = run_job(kProb, kTest, n, 0);
    EXPECT_EQ(r.text, n.get_str() + (oracle_is_composite(n) ? " is not" : " is") + " a prime number.\r\n");
    EXPECT_EQ(r.message, 0u);
}

// Windows start at radix^power + offset; the probabilistic method runs on each, the exact one where marked.
TEST(PrimeJob, IntervalsMatchGmpInBothMethodsAndBreakLinesAfter115Characters) {
    struct Window {
        unsigned radix, power;
        long offset, k;
        int base;
        uint32_t flags;
        bool exact;
    };
    const Window kWindows[] = {
        {2, 0, 0, 20000, 10, 0, true},      // 1 .. 20000
        {2, 32, -1500, 3000, 10, 0, true},  // across 2^32
        {2, 48, -120, 240, 10, 0, true},    // a few primes with about 3 million candidate divisors each
        {2, 64, -30, 33, 10, 0, true},      // across the second word: all composite, smallest factors below 300000
        {2, 82, -600, 1200, 10, 0, true},   // across the bound of the 13 strong-probable-prime bases
        {2, 127, -300, 600, 10, 0, true},   // each prime proven through a factorisation of p - 1
        {2, 128, -400, 400, 10, 0, true},   // up to 2^128 - 1
        {2, 2000, -200, 100, 10, 0, false},
        {10, 30, 0, 600, 10, 0, false},  // 31 digits: three numbers to a line
        {10, 30, 0, 600, 10, kGroup, false},
        {10, 30, 0, 600, 16, kGroup, false},
        {10, 56, 0, 900, 10, 0, false},  // one number to a line
        {10, 6, 0, 2000, 2, 0, false},
        {10, 2, 0, 900, 10, 0, false},   // 23 numbers of 3 digits fill the first line to exactly 115
        {10, 20, 0, 400, 10, 0, false},  // so do 5 numbers of 21 digits
    };
    for (const auto& w : kWindows) {
        const mpz_class n = power(w.radix, w.power, w.offset);
        const int32_t k = static_cast<int32_t>(w.k);
        const std::string expected = oracle_interval(n, w.k, w.base, w.flags != 0);
        EXPECT_EQ(run_job(kProb, kInterval, n, k, w.base, w.flags).text, expected) << n.get_str() << " base " << w.base;
        if (w.exact) {
            EXPECT_EQ(run_job(kExact, kInterval, n, k).text, expected) << n.get_str();
        }
    }
    // A number longer than a line gets a line of its own, in mode 2 as well.
    mpz_class p;
    mpz_nextprime(p.get_mpz_t(), power(10, 120).get_mpz_t());
    EXPECT_EQ(run_job(kProb, kNext, power(10, 120), 0).text, "Next prime number:\r\n\r\n" + p.get_str());
}

TEST(PrimeJob, NextPrimeMatchesGmpUpTo2To128) {
    gmp_randclass random(gmp_randinit_default);
    random.seed(127);
    for (int i = 0; i < 40; ++i) {
        const mpz_class n =
            i == 0 ? power(2, 127) : mpz_class(random.get_z_bits(60 + static_cast<unsigned>(i) * 17 % 68));
        mpz_class p = n - 1;
        mpz_nextprime(p.get_mpz_t(), p.get_mpz_t());  // the smallest prime >= n
        EXPECT_EQ(run_job(kExact, kNext, n, 0).text, "Next prime number:\r\n" + p.get_str()) << n.get_str();
    }
}

// The wheel's trial division alone and the proven path write the same texts wherever trial division finishes.
TEST(PrimeJob, TrialDivisionAndProvenPathsWriteTheSameTexts) {
    struct Window {
        unsigned power;
        long offset, k;
        uint32_t mode;
    };
    const Window kWindows[] = {
        {0, 0, 20000, kInterval}, {20, -500, 1000, kInterval}, {32, -2000, 4000, kInterval}, {40, -300, 600, kInterval},
        {44, 0, 0, kNext},        {46, -50, 0, kNext},         {64, -30, 33, kInterval},
    };
    for (const auto& w : kWindows) {
        const mpz_class n = power(2, w.power, w.offset);
        const int32_t k = static_cast<int32_t>(w.k);
        EXPECT_EQ(run_job(kExact, w.mode, n, k).text,
                  run_job(kExact, w.mode, n, k, 10, 0, ExactAlgorithm::kTrialDivision).text)
            << n.get_str();
    }
    gmp_randclass random(gmp_randinit_default);
    random.seed(99);
    for (int i = 0; i < 300; ++i) {
        const mpz_class n = random.get_z_bits(1 + static_cast<unsigned>(i) % 42) + 1;
        EXPECT_EQ(run_job(kExact, kTest, n, 0, 16, kGroup).text,
                  run_job(kExact, kTest, n, 0, 16, kGroup, ExactAlgorithm::kTrialDivision).text)
            << n.get_str();
    }
}

TEST(PrimeJob, AStopBeforeTheAnswerWritesNoVerdict) {
    const JobResult r = run_job(kExact, kTest, power(2, 127, -1), 0, 10, 0, ExactAlgorithm::kProven, 1);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.message, 0u);
}

TEST(PrimeJob, CountsThePrimesBelowAMillion) {
    EXPECT_NE(run_job(kExact, kInterval, 1, 1000000).text.find("\r\nNumber of prime numbers: 78498\r\n"),
              std::string::npos);
    const std::string probabilistic = run_job(kProb, kInterval, 1, 100000).text;
    EXPECT_NE(probabilistic.find("\r\nNumber of prime numbers: 9592\r\n"), std::string::npos);
    EXPECT_EQ(probabilistic, run_job(kExact, kInterval, 1, 100000).text);
}

TEST(PrimeTests, IsCompositeMatchesItsDefinition) {
    PrimeContext context(kProbabilisticIntLimbs);
    gmp_randclass random(gmp_randinit_default);
    random.seed(20261206);
    // The table's last number and the full test's first; pseudoprimes to base 2 (and 3) without a factor below 1000
    // (1093^2 first); then random numbers, primes and products of two primes, on both sides of the table's end, of
    // the word boundary and up to 1000 bits. A wrong jacobi_symbol(3, n) turns primes composite here.
    std::vector<mpz_class> numbers{1008, 1009, 1194649, 12327121, 25326001, 3215031751, 341550071728321};
    for (unsigned bits : {10u, 11u, 64u, 65u, 128u, 1000u}) {
        for (int i = 0; i < (bits >= 1000 ? 6 : 150); ++i) {
            mpz_class n = random.get_z_bits(bits), q;
            if (i % 3 != 0) mpz_nextprime(n.get_mpz_t(), n.get_mpz_t());
            if (i % 3 == 2) mpz_nextprime(q.get_mpz_t(), mpz_class(random.get_z_bits(bits / 2)).get_mpz_t());
            numbers.push_back(i % 3 == 2 ? n * q : n);
        }
    }
    for (const mpz_class& n : numbers) {
        uint64_t words[kProbabilisticIntLimbs] = {};
        mpz_export(words, nullptr, -1, 8, 0, 0, n.get_mpz_t());
        EXPECT_EQ(is_composite(words), oracle_is_composite(n)) << n.get_str();
        EXPECT_EQ(num_ctx.error_code, 0u) << n.get_str();
    }
}

// Squares of primes are composite on both paths: the limit floor(sqrt(n)) itself must be tried. The intervals above
// compare the primes themselves with GMP.
TEST(PrimeTests, ExactIsPrimeTriesTheSquareRoot) {
    PrimeContext context(kExactIntLimbs);
    StopFlag stop{0};
    for (auto algorithm : {ExactAlgorithm::kProven, ExactAlgorithm::kTrialDivision}) {
        for (uint64_t p : {0ull, 1ull, 2ull, 3ull, 17ull, 19ull, 251ull, 257ull, 30047ull, 30059ull, 1000003ull}) {
            const uint64_t n[2] = {p < 2 ? p : p * p, 0};
            EXPECT_FALSE(exact_is_prime(n, stop, algorithm)) << n[0];
        }
    }
}

}  // namespace
