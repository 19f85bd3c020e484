#include "primes/prime_numbers.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

struct Mpz {
    mpz_t v;
    explicit Mpz(const char* text = "0", int base = 10) { mpz_init_set_str(v, text, base); }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
};

std::string text_of(const mpz_t x, int base = 10) {
    std::vector<char> buffer(mpz_sizeinbase(x, base) + 2);
    return mpz_get_str(buffer.data(), -base, x);  // upper-case digits
}

// 2^e + offset.
void set_power_of_two(mpz_t r, unsigned e, long offset) {
    mpz_set_ui(r, 0);
    mpz_setbit(r, e);
    if (offset >= 0) mpz_add_ui(r, r, static_cast<unsigned long>(offset));
    if (offset < 0) mpz_sub_ui(r, r, static_cast<unsigned long>(-offset));
}

void to_words(std::vector<uint64_t>* out, const mpz_t x) {
    std::fill(out->begin(), out->end(), 0);
    ASSERT_LE(mpz_sizeinbase(x, 2), 64 * out->size());
    mpz_export(out->data(), nullptr, -1, 8, 0, 0, x);
}

// Sets the width and clears the error state; on exit checks that the scratch stack was given back.
struct Context {
    uint8_t* top;
    explicit Context(int width) {
        static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
        (void)initialised;
        num_ctx.int_limbs = width;
        clear_error_state();
        top = num_ctx.scratch_top;
    }
    ~Context() {
        EXPECT_EQ(num_ctx.scratch_top, top) << "scratch stack not restored";
        clear_error_state();
    }
};

void append_piece(void* target, const char16_t* text) {
    *static_cast<std::u16string*>(target) += text;
}

struct JobResult {
    std::string text;
    uint32_t message;
};

JobResult run_job(uint32_t method, uint32_t mode, const mpz_t n, int32_t k, int base = 10, uint32_t flags = 0,
                  ExactAlgorithm algorithm = ExactAlgorithm::kProven) {
    Context context(method == kPrimeMethodExact ? kExactIntLimbs : kProbabilisticIntLimbs);
    static SPrimeNumberCalc job;
    job = SPrimeNumberCalc{method, mode, {}, mode == kPrimeModeInterval ? k : kPrimeIntervalMax, flags, 1, base};
    std::vector<uint64_t> words(kProbabilisticIntLimbs);
    to_words(&words, n);
    std::copy(words.begin(), words.end(), job.number);
    std::u16string text;
    StopFlag stop{0};
    run_prime_job(job, JobSink{append_piece, nullptr, &text}, stop, algorithm);
    return JobResult{utf16_to_utf8(text), message_state.message_code};
}

JobResult run_job(uint32_t method, uint32_t mode, const char* n, int32_t k, int base = 10, uint32_t flags = 0) {
    Mpz value(n, base);
    return run_job(method, mode, value.v, k, base, flags);
}

// ---- Oracles: the output written out from its rules, GMP deciding primality --------------------------------------

std::string oracle_number(const mpz_t x, int base, bool group) {
    const std::string digits = text_of(x, base);
    const size_t size = base == 10 ? 3 : 4;
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (group && i > 0 && (digits.size() - i) % size == 0) out += '\'';
        out += digits[i];
    }
    return out;
}

// The interval's text: ", " before all but the first prime (2 characters of the line), and "\r\n" before a number
// that would carry the line past 115 characters; the first line starts with "{ ".
std::string oracle_interval(const mpz_t n, long k, int base, bool group) {
    Mpz x, last;
    mpz_set(x.v, n);
    mpz_add_ui(last.v, n, static_cast<unsigned long>(k - 1));
    std::string out =
        "Prime numbers from " + oracle_number(n, base, group) + " to " + oracle_number(last.v, base, group) + ":\r\n{ ";
    int line = 2;
    long found = 0;
    for (long i = 0; i < k; ++i, mpz_add_ui(x.v, x.v, 1)) {
        if (mpz_probab_prime_p(x.v, 30) == 0) continue;
        const std::string number = oracle_number(x.v, base, group);
        if (found++ > 0) {
            out += ", ";
            line += 2;
        }
        line += static_cast<int>(number.size());
        if (line > 115) {
            out += "\r\n";
            line = static_cast<int>(number.size());
        }
        out += number;
    }
    return out + " }\r\nNumber of prime numbers: " + std::to_string(found) + "\r\n";
}

bool has_factor_below(const mpz_t n, unsigned long limit) {
    for (unsigned long p = 2; p < limit; ++p) {
        if (mpz_divisible_ui_p(n, p)) return true;
    }
    return false;
}

// The probabilistic verdict from its definition: the table up to 1008, trial division by the primes below 1000, and
// the Euler tests 2^e and 3^e mod n (e = (n - 1) / 2) against the Jacobi symbols.
bool oracle_is_composite(const mpz_t n) {
    if (mpz_cmp_ui(n, 1008) <= 0) return mpz_probab_prime_p(n, 30) == 0;
    if (has_factor_below(n, 1000)) return true;
    Mpz e, r, b, n1;
    mpz_sub_ui(n1.v, n, 1);
    mpz_fdiv_q_2exp(e.v, n1.v, 1);
    for (unsigned long base : {2ul, 3ul}) {
        mpz_set_ui(b.v, base);
        mpz_powm(r.v, b.v, e.v, n);
        if (mpz_cmp(r.v, mpz_jacobi(b.v, n) == 1 ? Mpz("1").v : n1.v) != 0) return true;
    }
    return false;
}

constexpr uint32_t kExact = kPrimeMethodExact;
constexpr uint32_t kProb = kPrimeMethodProbabilistic;
constexpr uint32_t kTest = kPrimeModeTest;
constexpr uint32_t kNext = kPrimeModeNext;
constexpr uint32_t kInterval = kPrimeModeInterval;
constexpr uint32_t kGroup = kPrimeFormatGroupDigits;
const char* const kMax128 = "340282366920938463463374607431768211455";  // 2^128 - 1 = 3 * 5 * 17 * ...

struct OutputCase {
    uint32_t method, mode;
    const char* n;
    int32_t k;
    int base;
    uint32_t flags;
    std::string text;
    uint32_t message;
};

// clang-format off
const OutputCase kOutputCases[] = {
    {kExact, kTest, "1", 0, 10, 0, "1 is not a prime number.\r\n", 0},
    {kProb, kTest, "1", 0, 10, 0, "1 is not a prime number.\r\n", 0},
    {kExact, kTest, "2", 0, 10, 0, "2 is a prime number.\r\n", 0},
    {kProb, kTest, "2", 0, 10, 0, "2 is a prime number.\r\n", 0},
    {kExact, kTest, "3", 0, 10, 0, "3 is a prime number.\r\n", 0},
    {kProb, kTest, "3", 0, 10, 0, "3 is a prime number.\r\n", 0},
    {kProb, kTest, "1008", 0, 10, 0, "1008 is not a prime number.\r\n", 0},  // the table's last number
    {kProb, kTest, "1009", 0, 10, 0, "1009 is a prime number.\r\n", 0},      // the full test's first
    {kProb, kTest, "561", 0, 10, 0, "561 is not a prime number.\r\n", 0},
    {kProb, kTest, "2047", 0, 10, 0, "2047 is not a prime number.\r\n", 0},
    {kProb, kTest, "1194649", 0, 10, 0, "1194649 is not a prime number.\r\n", 0},  // 1093^2 passes the base-2 test
    {kExact, kTest, kMax128, 0, 10, 0, std::string(kMax128) + " is not a prime number.\r\n", 0},
    {kExact, kInterval, "1", 1, 10, 0, "Prime numbers from 1 to 1:\r\n{  }\r\nNumber of prime numbers: 0\r\n", 0},
    {kExact, kInterval, "1", 2, 10, 0, "Prime numbers from 1 to 2:\r\n{ 2 }\r\nNumber of prime numbers: 1\r\n", 0},
    {kExact, kInterval, "2", 1, 10, 0, "Prime numbers from 2 to 2:\r\n{ 2 }\r\nNumber of prime numbers: 1\r\n", 0},
    {kExact, kInterval, "2", 2, 10, 0, "Prime numbers from 2 to 3:\r\n{ 2, 3 }\r\nNumber of prime numbers: 2\r\n", 0},
    {kExact, kInterval, "10", 10, 10, 0,
     "Prime numbers from 10 to 19:\r\n{ 11, 13, 17, 19 }\r\nNumber of prime numbers: 4\r\n", 0},
    {kProb, kInterval, "10", 10, 10, 0,
     "Prime numbers from 10 to 19:\r\n{ 11, 13, 17, 19 }\r\nNumber of prime numbers: 4\r\n", 0},
    {kExact, kNext, "1", 0, 10, 0, "Next prime number:\r\n2", 0},
    {kProb, kNext, "1", 0, 10, 0, "Next prime number:\r\n2", 0},
    {kExact, kNext, "2", 0, 10, 0, "Next prime number:\r\n2", 0},
    {kExact, kNext, "13", 0, 10, 0, "Next prime number:\r\n13", 0},
    {kProb, kNext, "13", 0, 10, 0, "Next prime number:\r\n13", 0},
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
        const JobResult r = run_job(c.method, c.mode, c.n, c.k, c.base, c.flags);
        EXPECT_EQ(r.text, c.text) << c.n << " method " << c.method << " mode " << c.mode << " k " << c.k;
        EXPECT_EQ(r.message, c.message) << c.n << " method " << c.method << " mode " << c.mode;
    }
}

TEST(PrimeJob, OverflowsFrom2To4128OnWhenTheEulerTestsAreNeeded) {
    Mpz n;
    set_power_of_two(n.v, 4128, 0);  // even: decided without a product
    JobResult r = run_job(kProb, kTest, n.v, 0);
    EXPECT_EQ(r.text, text_of(n.v) + " is not a prime number.\r\n");
    EXPECT_EQ(r.message, 0u);
    set_power_of_two(n.v, 4128, 1);
    while (has_factor_below(n.v, 1000)) mpz_add_ui(n.v, n.v, 2);
    r = run_job(kProb, kTest, n.v, 0);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.message, kMsgPrimeOverflow) << text_of(n.v);
    set_power_of_two(n.v, 4128, -1);  // below the boundary the products fit
    for (int i = 0; i < 3; ++i, mpz_sub_ui(n.v, n.v, 2)) {
        r = run_job(kProb, kTest, n.v, 0);
        EXPECT_EQ(r.text, text_of(n.v) + (oracle_is_composite(n.v) ? " is not" : " is") + " a prime number.\r\n");
        EXPECT_EQ(r.message, 0u);
    }
}

TEST(PrimeJob, BreaksListLinesAfter115Characters) {
    struct LineCase {
        const char* n;
        long k;
        int base;
        bool group;
    };
    const LineCase kCases[] = {
        {"1000000000000000000000000000000", 600, 10, false},  // 31 digits: three numbers to a line
        {"1000000000000000000000000000000", 600, 10, true},
        {"1000000000000000000000000000000", 600, 16, true},
        {"100000000000000000000000000000000000000000000000000000000", 900, 10, false},  // one number to a line
        {"1000000", 2000, 2, false},
        {"100", 900, 10, false},                    // 23 numbers of 3 digits fill the first line to exactly 115
        {"100000000000000000000", 400, 10, false},  // so do 5 numbers of 21 digits
    };
    for (const auto& c : kCases) {
        Mpz n(c.n);
        EXPECT_EQ(run_job(kProb, kInterval, n.v, static_cast<int32_t>(c.k), c.base, c.group ? kGroup : 0u).text,
                  oracle_interval(n.v, c.k, c.base, c.group))
            << c.n << " base " << c.base;
    }
    // A number longer than a line gets a line of its own, in mode 2 as well.
    Mpz n, p;
    mpz_ui_pow_ui(n.v, 10, 120);
    mpz_nextprime(p.v, n.v);
    EXPECT_EQ(run_job(kProb, kNext, n.v, 0).text, "Next prime number:\r\n\r\n" + text_of(p.v));
}

TEST(PrimeJob, MethodsAgreeWithEachOtherAndWithGmp) {
    struct Window {
        unsigned power;  // the window starts at 2^power + offset
        long offset, k;
        bool exact;
    };
    const Window kWindows[] = {
        {0, 0, 3000, true},       // 1 .. 3000
        {32, -1500, 3000, true},  // across 2^32
        {48, -120, 240, true},    // a few primes with about 3 million candidate divisors each
        {64, -30, 33, true},      // across the second word: all composite, smallest factors below 300000
        {82, -600, 1200, true},   // across the bound of the 13 strong-probable-prime bases
        {127, -300, 600, true},   // each prime proven through a factorisation of p - 1
        {128, -400, 400, true},   // up to 2^128 - 1
        {2000, -200, 100, false},
    };
    for (const auto& w : kWindows) {
        Mpz n;
        set_power_of_two(n.v, w.power, w.offset);
        const std::string expected = oracle_interval(n.v, w.k, 10, false);
        EXPECT_EQ(run_job(kProb, kInterval, n.v, static_cast<int32_t>(w.k)).text, expected) << text_of(n.v);
        if (w.exact) {
            EXPECT_EQ(run_job(kExact, kInterval, n.v, static_cast<int32_t>(w.k)).text, expected) << text_of(n.v);
        }
    }
    // Near 2^127 the exact test decides every number, prime or not.
    Mpz x;
    set_power_of_two(x.v, 127, -100);
    for (int i = 0; i < 200; ++i, mpz_add_ui(x.v, x.v, 1)) {
        const bool prime = mpz_probab_prime_p(x.v, 50) != 0;
        const std::string verdict = prime ? " is a prime number.\r\n" : " is not a prime number.\r\n";
        EXPECT_EQ(run_job(kExact, kTest, x.v, 0).text, text_of(x.v) + verdict);
    }
}

TEST(PrimeJob, NextPrimeMatchesGmpUpTo2To128) {
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 127);
    for (int i = 0; i < 40; ++i) {
        Mpz n, p;
        if (i == 0) set_power_of_two(n.v, 127, 0);
        if (i > 0) mpz_urandomb(n.v, state, 60 + static_cast<unsigned>(i) * 17 % 68);
        mpz_sub_ui(p.v, n.v, 1);
        mpz_nextprime(p.v, p.v);  // the smallest prime >= n
        EXPECT_EQ(run_job(kExact, kNext, n.v, 0).text, "Next prime number:\r\n" + text_of(p.v)) << text_of(n.v);
    }
    gmp_randclear(state);
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
        Mpz n;
        set_power_of_two(n.v, w.power, w.offset);
        const JobResult trial =
            run_job(kExact, w.mode, n.v, static_cast<int32_t>(w.k), 10, 0, ExactAlgorithm::kTrialDivision);
        EXPECT_EQ(run_job(kExact, w.mode, n.v, static_cast<int32_t>(w.k)).text, trial.text) << text_of(n.v);
    }
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 99);
    for (int i = 0; i < 300; ++i) {
        Mpz n;
        mpz_urandomb(n.v, state, 1 + static_cast<unsigned>(i) % 42);
        mpz_add_ui(n.v, n.v, 1);
        const JobResult trial = run_job(kExact, kTest, n.v, 0, 16, kGroup, ExactAlgorithm::kTrialDivision);
        EXPECT_EQ(run_job(kExact, kTest, n.v, 0, 16, kGroup).text, trial.text) << text_of(n.v);
    }
    gmp_randclear(state);
}

TEST(PrimeJob, AStopBeforeTheAnswerWritesNoVerdict) {
    Context context(kExactIntLimbs);
    static SPrimeNumberCalc job;
    job = SPrimeNumberCalc{kExact, kTest, {UINT64_MAX, UINT64_MAX >> 1}, kPrimeIntervalMax, 0, 1, 10};  // 2^127 - 1
    std::u16string text;
    StopFlag stop{1};
    run_prime_job(job, JobSink{append_piece, nullptr, &text}, stop);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(message_state.message_code, 0u);
}

TEST(PrimeJob, CountsThePrimesBelowAMillion) {
    const JobResult exact = run_job(kExact, kInterval, "1", 1000000);
    EXPECT_NE(exact.text.find("\r\nNumber of prime numbers: 78498\r\n"), std::string::npos);
    const JobResult probabilistic = run_job(kProb, kInterval, "1", 100000);
    EXPECT_NE(probabilistic.text.find("\r\nNumber of prime numbers: 9592\r\n"), std::string::npos);
    EXPECT_EQ(probabilistic.text, run_job(kExact, kInterval, "1", 100000).text);
}

TEST(PrimeTests, IsCompositeMatchesItsDefinition) {
    Context context(kProbabilisticIntLimbs);
    std::vector<uint64_t> words(kProbabilisticIntLimbs);
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 20261206);
    // Pseudoprimes to base 2 (and 3) without a factor below 1000 first, then random numbers, primes and products
    // of two primes of 10 to 1000 bits.
    for (const char* text : {"1194649", "12327121", "25326001", "3215031751", "341550071728321"}) {
        Mpz n(text);
        to_words(&words, n.v);
        EXPECT_EQ(is_composite(words.data()), oracle_is_composite(n.v)) << text;
    }
    for (unsigned bits : {10u, 11u, 20u, 63u, 64u, 65u, 100u, 128u, 400u, 1000u}) {
        const int rounds = bits >= 1000 ? 6 : bits >= 400 ? 30 : 150;
        for (int i = 0; i < rounds; ++i) {
            Mpz n, q;
            mpz_urandomb(n.v, state, bits);
            if (i % 3 != 0) mpz_nextprime(n.v, n.v);
            if (i % 3 == 2) {
                mpz_urandomb(q.v, state, bits / 2);
                mpz_nextprime(q.v, q.v);
                mpz_mul(n.v, n.v, q.v);
            }
            to_words(&words, n.v);
            EXPECT_EQ(is_composite(words.data()), oracle_is_composite(n.v)) << text_of(n.v);
            EXPECT_EQ(num_ctx.error_code, 0u) << text_of(n.v);
        }
    }
    gmp_randclear(state);
}

TEST(PrimeTests, JacobiSymbolMatchesGmp) {
    std::mt19937_64 rng(42);
    Context context(kProbabilisticIntLimbs);
    std::vector<uint64_t> a(kProbabilisticIntLimbs), n(kProbabilisticIntLimbs);
    for (int i = 0; i < 2000; ++i) {
        Mpz ma, mn;
        for (int l = 0; l <= i % 8; ++l) {
            mpz_mul_2exp(mn.v, mn.v, 64);
            mpz_add_ui(mn.v, mn.v, rng());
        }
        mpz_setbit(mn.v, 0);
        mpz_set_ui(ma.v, i % 2 == 0 ? 3 : 1 + rng() % 100000);
        if (mpz_cmp_ui(mn.v, 1) == 0 || mpz_gcd_ui(nullptr, mn.v, mpz_get_ui(ma.v)) != 1) continue;  // sign undefined
        to_words(&a, ma.v);
        to_words(&n, mn.v);
        EXPECT_EQ(jacobi_symbol(a.data(), n.data()), mpz_jacobi(ma.v, mn.v)) << text_of(ma.v) << " / " << text_of(mn.v);
    }
}

TEST(PrimeTests, ExactIsPrimeMatchesGmp) {
    Context context(kExactIntLimbs);
    StopFlag stop{0};
    uint64_t n[2] = {0, 0};
    Mpz m;
    for (uint64_t x = 0; x < 20000; ++x) {
        n[0] = x;
        mpz_set_ui(m.v, x);
        EXPECT_EQ(exact_is_prime(n, stop), mpz_probab_prime_p(m.v, 30) != 0) << x;
    }
    // Squares of primes: the limit floor(sqrt(n)) itself must be tried.
    for (uint64_t p : {2ull, 3ull, 17ull, 19ull, 30047ull, 30059ull, 1000003ull}) {
        n[0] = p * p;
        EXPECT_FALSE(exact_is_prime(n, stop)) << p << "^2";
    }
}

}  // namespace
