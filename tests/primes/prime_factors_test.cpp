#include "primes/prime_factors.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

using u128 = unsigned __int128;

struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    explicit Mpz(const char* text, int base = 10) { mpz_init_set_str(v, text, base); }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
    std::string str(int base = 10) const {
        std::vector<char> buffer(mpz_sizeinbase(v, base) + 2);
        mpz_get_str(buffer.data(), -base, v);
        return buffer.data();
    }
};

u128 to_u128(const uint64_t* w) {
    return (static_cast<u128>(w[1]) << 64) | w[0];
}

std::string u128_text(u128 x, int base = 10) {
    std::string s;
    do {
        s += "0123456789ABCDEF"[static_cast<int>(x % base)];
        x /= base;
    } while (x != 0);
    std::reverse(s.begin(), s.end());
    return s;
}

struct Context {
    uint8_t* top;
    Context() {
        static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
        (void)initialised;
        num_ctx.int_limbs = kExactIntLimbs;
        clear_error_state();
        top = num_ctx.scratch_top;
    }
    ~Context() {
        EXPECT_EQ(num_ctx.scratch_top, top) << "scratch stack not restored";
        clear_error_state();
    }
};

struct Capture {
    std::vector<std::string> lines;  // one per piece
};

void capture_append(void* target, const char16_t* text) {
    static_cast<Capture*>(target)->lines.push_back(utf16_to_utf8(text));
}

struct JobResult {
    std::vector<std::string> lines;
    uint32_t message;
    std::string param;
};

JobResult run_job(const char* n, uint32_t k, bool divisors, bool count = false, int base = 10, uint32_t flags = 0,
                  ExactAlgorithm algorithm = ExactAlgorithm::kProven) {
    Context context;
    SPrimeFactorCalc job{};
    job.divisors = divisors ? 1 : 0;
    job.show_count = count ? 1 : 0;
    Mpz value(n, base);
    mpz_export(job.number, nullptr, -1, 8, 0, 0, value.v);
    job.interval = k;
    job.format_flags = flags;
    job.parse_flags = 1;
    job.base = base;
    Capture capture;
    StopFlag stop{0};
    run_factor_job(job, JobSink{capture_append, nullptr, &capture}, stop, algorithm);
    return JobResult{capture.lines, message_state.message_code, utf16_to_utf8(message_state.message_param1)};
}

// The product of the first `count` primes.
std::string primorial(int count) {
    Mpz p("1"), q("1");
    for (int i = 0; i < count; ++i) {
        mpz_nextprime(q.v, q.v);
        mpz_mul(p.v, p.v, q.v);
    }
    return p.str();
}

// ---- Documented lines ---------------------------------------------------------------------------------------------

// Each line is one piece of output; `text` holds the lines one after the other.
struct LineCase {
    const char* n;
    uint32_t k;
    uint32_t flags;  // kDivisors, kCount, kGroup
    int base;
    const char* text;
    uint32_t message;
};

constexpr uint32_t kDivisors = 1;
constexpr uint32_t kCount = 2;
constexpr uint32_t kGroup = 4;

// clang-format off
const LineCase kLineCases[] = {
    {"1", 1, 0, 10, "1 = Number has no prime factors!\r\n", 0},
    {"1", 1, kDivisors | kCount, 10, "D 1 = { 1 }  [1]\r\n", 0},
    {"1", 1, kDivisors, 10, "D 1 = { 1 }\r\n", 0},
    {"360", 1, 0, 10, "360 = 2^3 * 3^2 * 5\r\n", 0},
    {"360", 1, kDivisors | kCount, 10,
     "D 360 = { 1, 2, 3, 4, 5, 6, 8, 9, 10, 12, 15, 18, 20, 24, 30, 36, 40, 45, 60, 72, 90, 120, 180, 360 }  [24]\r\n", 0},
    {"170141183460469231731687303715884105728", 1, 0, 10, "170141183460469231731687303715884105728 = 2^127\r\n", 0},
    {"80000000000000000000000000000000", 1, kGroup, 16, "8000'0000'0000'0000'0000'0000'0000'0000 = 2^7F\r\n", 0},
    {"10000", 1, 0, 16, "10000 = 2^10\r\n", 0},
    {"10000", 1, kDivisors | kGroup, 16,
     "D 1'0000 = { 1, 2, 4, 8, 10, 20, 40, 80, 100, 200, 400, 800, 1000, 2000, 4000, 8000, 1'0000 }\r\n", 0},
    {"1000000", 1, kGroup, 10, "1'000'000 = 2^6 * 5^6\r\n", 0},
    {"340282366920938463463374607431768211455", 1, 0, 10,
     "340282366920938463463374607431768211455 = 3 * 5 * 17 * 257 * 641 * 65537 * 274177 * 6700417 * 67280421310721\r\n",
     0},
    // The next number would pass 2^128 - 1: one line, then the overflow message.
    {"340282366920938463463374607431768211455", 2, 0, 10,
     "340282366920938463463374607431768211455 = 3 * 5 * 17 * 257 * 641 * 65537 * 274177 * 6700417 * 67280421310721\r\n",
     kMsgFactorOverflow},
    {"7", 4, 0, 10, "7 = 7\r\n8 = 2^3\r\n9 = 3^2\r\n10 = 2 * 5\r\n", 0},
    {"18446744073709551617", 1, 0, 10, "18446744073709551617 = 274177 * 67280421310721\r\n", 0},
};
// clang-format on

TEST(FactorJob, WritesTheDocumentedLines) {
    for (const auto& c : kLineCases) {
        const JobResult r = run_job(c.n, c.k, (c.flags & kDivisors) != 0, (c.flags & kCount) != 0, c.base,
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

TEST(FactorJob, ListsTheDivisorsOfThe12PrimePrimorialAndCutsLongLines) {
    const std::string n = primorial(12);  // 7420738134810, 4096 divisors
    JobResult r = run_job(n.c_str(), 1, true);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].size(), 36625u + 2);
    EXPECT_EQ(r.lines[0].substr(0, 22), "D 7420738134810 = { 1,");
    EXPECT_EQ(r.lines[0].substr(r.lines[0].size() - 19), ", 7420738134810 }\r\n");

    // In base 2 the line passes 45051 characters: it is cut there and ends in "...\r\n".
    Mpz value(n.c_str());
    const std::string binary = value.str(2);
    r = run_job(binary.c_str(), 1, true, true, 2);
    ASSERT_EQ(r.lines.size(), 1u);
    ASSERT_EQ(r.lines[0].size(), 45056u);
    EXPECT_EQ(r.lines[0].substr(45051), "...\r\n");
    // The part kept is the start of the full line, written here from GMP's divisor list.
    std::vector<u128> divisors;
    const u128 x = static_cast<u128>(7420738134810ull);
    for (u128 d = 1; d * d <= x; ++d) {
        if (x % d == 0) {
            divisors.push_back(d);
            if (d * d != x) divisors.push_back(x / d);
        }
    }
    std::sort(divisors.begin(), divisors.end());
    std::string full = "D " + binary + " = { ";
    for (size_t i = 0; i < divisors.size() && full.size() < 46000; ++i)
        full += (i ? ", " : "") + u128_text(divisors[i], 2);
    EXPECT_EQ(r.lines[0].substr(0, 45051), full.substr(0, 45051));

    // Thirteen primes: 8192 divisors is too many, the factorisation is fine.
    const std::string n13 = primorial(13);
    r = run_job(n13.c_str(), 1, true);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.message, kMsgTooManyFactors);
    EXPECT_EQ(r.param, n13);
    r = run_job(n13.c_str(), 1, false);
    EXPECT_EQ(r.lines,
              std::vector<std::string>{n13 + " = 2 * 3 * 5 * 7 * 11 * 13 * 17 * 19 * 23 * 29 * 31 * 37 * 41\r\n"});
    EXPECT_EQ(r.message, 0u);
}

// ---- factorize against GMP ----------------------------------------------------------------------------------------

TEST(Factorize, FactorisationsMultiplyBackToPrimesInIncreasingOrder) {
    std::mt19937_64 rng(1206);
    Context context;
    StopFlag stop{0};
    auto factor = std::make_unique<FactorList>();
    for (int i = 0; i < 3000; ++i) {
        // Products of random primes of mixed sizes; the largest may have up to 111 bits, the cofactor found last.
        Mpz n("1"), p;
        const int count = 1 + static_cast<int>(rng() % 6);
        for (int j = 0; j < count; ++j) {
            const int bits = j == 0 ? 2 + static_cast<int>(rng() % 110) : 2 + static_cast<int>(rng() % 16);
            const uint64_t words[2] = {rng(), rng()};
            mpz_import(p.v, 2, -1, 8, 0, 0, words);
            mpz_fdiv_r_2exp(p.v, p.v, static_cast<mp_bitcnt_t>(bits));
            mpz_nextprime(p.v, p.v);
            const int power = j == 0 ? 1 : 1 + static_cast<int>(rng() % 3);
            for (int e = 0; e < power && mpz_sizeinbase(n.v, 2) + mpz_sizeinbase(p.v, 2) <= 127; ++e) {
                mpz_mul(n.v, n.v, p.v);
            }
        }
        uint64_t words[2] = {0, 0};
        mpz_export(words, nullptr, -1, 8, 0, 0, n.v);
        factorize(factor.get(), words, stop);
        ASSERT_GE(factor->count, 0) << n.str();
        Mpz product("1"), q, last("1");
        for (int64_t j = 0; j < factor->count; ++j) {
            mpz_import(q.v, 2, -1, 8, 0, 0, factor->primes[j]);
            EXPECT_NE(mpz_probab_prime_p(q.v, 30), 0) << n.str() << " factor " << q.str();
            EXPECT_GT(mpz_cmp(q.v, last.v), 0) << n.str() << " factors out of order";
            EXPECT_GE(factor->exponents[j], 1u);
            EXPECT_TRUE(mpz_divisible_p(n.v, q.v));
            mpz_set(last.v, q.v);
            for (uint64_t e = 0; e < factor->exponents[j]; ++e) mpz_mul(product.v, product.v, q.v);
        }
        EXPECT_EQ(mpz_cmp(product.v, n.v), 0) << n.str();
    }
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

TEST(Factorize, RefusesOtherWidthsAndEndsAtOnceWhenStopped) {
    Context context;
    StopFlag go{0}, stopped{1};
    FactorList f;
    uint64_t n[3] = {12, 0, 0};
    factorize(&f, n, go);
    EXPECT_EQ(f.count, 2);
    num_ctx.int_limbs = 3;
    factorize(&f, n, go);
    EXPECT_EQ(f.count, -1);
    num_ctx.int_limbs = kExactIntLimbs;
    for (uint64_t x : {0ull, 1ull}) {
        n[0] = x;
        factorize(&f, n, go);
        EXPECT_EQ(f.count, 0) << x;
    }
    // 2^127 - 1 is prime: trial division alone would run for ages without the stop flag, and ends at once with it
    // (the entry it leaves is discarded by the job). The proven path stops inside the proof.
    const uint64_t mersenne[2] = {UINT64_MAX, UINT64_MAX >> 1};
    factorize(&f, mersenne, stopped, ExactAlgorithm::kTrialDivision);
    EXPECT_EQ(f.count, 1);
    factorize(&f, mersenne, stopped);
    EXPECT_LE(f.count, 1);
    factorize(&f, mersenne, go);
    ASSERT_EQ(f.count, 1);
    EXPECT_EQ(f.primes[0][0], mersenne[0]);
    EXPECT_EQ(f.primes[0][1], mersenne[1]);
}

// ---- Divisors -----------------------------------------------------------------------------------------------------

TEST(Divisors, MatchABruteForceSearch) {
    Context context;
    StopFlag stop{0};
    auto factor = std::make_unique<FactorList>();
    auto list = std::make_unique<DivisorList>();
    std::mt19937_64 rng(99);
    std::vector<uint64_t> numbers;
    for (uint64_t x = 1; x <= 2500; ++x) numbers.push_back(x);
    for (int i = 0; i < 40; ++i) numbers.push_back(1 + rng() % 1000000000000ull);
    const uint64_t kHighlyComposite[] = {720720, 735134400, 3491888400, 963761198400ull, 97821761637600ull};
    for (uint64_t x : kHighlyComposite) numbers.push_back(x);
    for (uint64_t x : numbers) {
        uint64_t n[2] = {x, 0};
        factorize(factor.get(), n, stop);
        enumerate_divisors(list.get(), factor.get());
        std::vector<uint64_t> expected;
        for (uint64_t d = 1; d * d <= x; ++d) {
            if (x % d == 0) {
                expected.push_back(d);
                if (d * d != x) expected.push_back(x / d);
            }
        }
        std::sort(expected.begin(), expected.end());
        if (expected.size() > static_cast<size_t>(kMaxDivisors)) {
            EXPECT_EQ(list->count, -1) << x;
            continue;
        }
        ASSERT_EQ(list->count, static_cast<int64_t>(expected.size())) << x;
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(list->divisors[i][0], expected[i]) << x << " divisor " << i;
            ASSERT_EQ(list->divisors[i][1], 0u) << x;
        }
    }
}

TEST(Divisors, EnforceTheLimits) {
    Context context;
    auto f = std::make_unique<FactorList>();
    auto d = std::make_unique<DivisorList>();
    struct LimitCase {
        std::vector<uint64_t> primes;
        std::vector<uint64_t> exponents;
        int64_t count;
    };
    const LimitCase kCases[] = {
        {{}, {}, 1},
        {{2}, {127}, 128},
        {{2}, {0}, -1},  // exponent outside 1 .. 255
        {{2}, {256}, -1},
        {{2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 4096},
        {{2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, -1},
        {{2, 3, 5, 7, 11}, {31, 1, 1, 1, 1}, 512},
        {{2, 3, 5, 7, 11, 13}, {9, 7, 3, 2, 1, 1}, 3840},
        {{2, 3, 5, 7, 11, 13}, {15, 7, 3, 2, 1, 1}, -1},  // 6144 divisors
    };
    for (const auto& c : kCases) {
        f->count = static_cast<int64_t>(c.primes.size());
        for (size_t i = 0; i < c.primes.size(); ++i) {
            f->primes[i][0] = c.primes[i];
            f->primes[i][1] = 0;
            f->exponents[i] = c.exponents[i];
        }
        enumerate_divisors(d.get(), f.get());
        EXPECT_EQ(d->count, c.count) << c.primes.size() << " primes";
    }
    f->count = -1;
    enumerate_divisors(d.get(), f.get());
    EXPECT_EQ(d->count, -1);
}

TEST(Divisors, InsertSortedKeepsOrderAndStopsWhenFull) {
    auto d = std::make_unique<DivisorList>();
    d->count = 0;
    std::mt19937_64 rng(5);
    std::vector<u128> values;
    for (int i = 0; i < kMaxDivisors; ++i) {
        const uint64_t v[2] = {rng(), rng() % 4};  // compared from the top word down
        insert_sorted(d.get(), v);
        values.push_back(to_u128(v));
    }
    std::sort(values.begin(), values.end());
    ASSERT_EQ(d->count, kMaxDivisors);
    for (int i = 0; i < kMaxDivisors; ++i) ASSERT_TRUE(to_u128(d->divisors[i]) == values[i]) << i;
    const uint64_t one[2] = {1, 0};
    insert_sorted(d.get(), one);
    EXPECT_EQ(d->count, -1);
    insert_sorted(d.get(), one);
    EXPECT_EQ(d->count, -1);
}

}  // namespace
