#include "primes/proven_prime.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "primes/ecm_factor.h"
#include "primes/factor_engine.h"
#include "primes/quadratic_sieve.h"
#include "primes/rho_factor.h"

namespace {

struct Mpz {
    mpz_t v;
    explicit Mpz(const char* text = "0") { mpz_init_set_str(v, text, 10); }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
};

u128 to_u128(const mpz_t x) {
    uint64_t w[2] = {0, 0};
    mpz_export(w, nullptr, -1, 8, 0, 0, x);
    return (static_cast<u128>(w[1]) << 64) | w[0];
}

void from_u128(mpz_t r, u128 x) {
    const uint64_t w[2] = {static_cast<uint64_t>(x), static_cast<uint64_t>(x >> 64)};
    mpz_import(r, 2, -1, 8, 0, 0, w);
}

std::string text(u128 x) {
    Mpz m;
    from_u128(m.v, x);
    std::vector<char> buffer(mpz_sizeinbase(m.v, 10) + 2);
    return mpz_get_str(buffer.data(), 10, m.v);
}

u128 parse(const char* s) {
    Mpz m(s);
    return to_u128(m.v);
}

bool gmp_prime(u128 x) {
    Mpz m;
    from_u128(m.v, x);
    return mpz_probab_prime_p(m.v, 50) != 0;
}

const StopFlag kGo{0};

// ---- Primality ------------------------------------------------------------------------------------------------

struct PrimeCase {
    const char* n;
    bool prime;
};

// clang-format off
const PrimeCase kPrimeCases[] = {
    {"0", false}, {"1", false}, {"2", true}, {"3", true}, {"4", false}, {"41", true}, {"43", true}, {"1681", false},
    {"561", false}, {"1105", false}, {"2047", false},                      // Carmichael; strong pseudoprime to 2
    {"3215031751", false},                                                 // strong pseudoprime to 2, 3, 5, 7
    {"3825123056546413051", false},                                        // strong pseudoprime to 2 .. 23
    {"18446744073709551557", true},                                        // largest prime below 2^64
    {"18446744073709551617", false},                                       // 2^64 + 1
    {"318665857834031151167461", false},                                   // strong pseudoprime to 2 .. 37
    {"3317044064679887385961981", false},                                  // strong pseudoprime to 2 .. 41
    {"3317044064679887385962123", true},                                   // first prime past the 13-base bound
    {"618970019642690137449562111", true},                                 // 2^89 - 1
    {"162259276829213363391578010288127", true},                           // 2^107 - 1
    {"170141183460469231731687303715884105727", true},                     // 2^127 - 1
    {"340282366920938463463374607431768211297", true},                     // largest prime below 2^128
    {"340282366920938463463374607431768211455", false},                    // 2^128 - 1
};
// clang-format on

TEST(ProvenPrime, DecidesTheTableCases) {
    for (const auto& c : kPrimeCases) {
        Mpz m(c.n);
        EXPECT_EQ(proven_is_prime(to_u128(m.v), kGo), c.prime) << c.n;
        EXPECT_EQ(c.prime, mpz_probab_prime_p(m.v, 50) != 0) << c.n << ": the table itself";
    }
}

TEST(ProvenPrime, TheBoundsRestOnPseudoprimesToAllSmallerBases) {
    // The first composites passing the first 12 and 13 prime bases mark the bounds below which those bases decide.
    const uint64_t bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41};
    const u128 psi12 = parse("318665857834031151167461");
    const u128 psi13 = parse("3317044064679887385961981");
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(strong_probable_prime(psi12, bases[i])) << bases[i];
    EXPECT_FALSE(strong_probable_prime(psi12, 41));
    for (int i = 0; i < 13; ++i) EXPECT_TRUE(strong_probable_prime(psi13, bases[i])) << bases[i];
    EXPECT_FALSE(proven_is_prime(psi13, kGo)) << "the certificate must refuse it";
}

TEST(ProvenPrime, MatchesGmpBelow20000AndOnRandomNumbers) {
    for (uint64_t x = 0; x < 20000; ++x) ASSERT_EQ(proven_is_prime(x, kGo), gmp_prime(x)) << x;
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 20261206);
    for (unsigned bits : {24u, 40u, 63u, 64u, 65u, 78u, 82u, 90u, 100u, 115u, 127u, 128u}) {
        for (int i = 0; i < 40; ++i) {
            Mpz n, q;
            mpz_urandomb(n.v, state, bits);
            if (i % 4 == 1) mpz_nextprime(n.v, n.v);
            if (i % 4 == 2) {  // a prime times a small prime, or a prime square
                mpz_urandomb(n.v, state, bits / 2);
                mpz_nextprime(n.v, n.v);
                mpz_set(q.v, n.v);
                if (i % 8 == 2) mpz_nextprime(q.v, q.v);
                mpz_mul(n.v, n.v, q.v);
            }
            if (mpz_sizeinbase(n.v, 2) > 128) continue;
            const u128 x = to_u128(n.v);
            EXPECT_EQ(proven_is_prime(x, kGo), mpz_probab_prime_p(n.v, 50) != 0) << text(x);
        }
    }
    gmp_randclear(state);
}

TEST(ProvenPrime, EndsAtOnceWhenStopped) {
    const StopFlag stopped{1};
    EXPECT_FALSE(proven_is_prime(parse("170141183460469231731687303715884105727"), stopped));
    EXPECT_TRUE(proven_is_prime(parse("3317044064679887385962123"), kGo));
}

// ---- Factoring ------------------------------------------------------------------------------------------------

// Checks a factorisation against GMP: primes in increasing order, each proven by GMP's test with many rounds, and
// the product equal to n.
void expect_factorisation(u128 n, const PrimePowers& f) {
    Mpz product("1"), p, last("1");
    for (int i = 0; i < f.count; ++i) {
        from_u128(p.v, f.primes[i]);
        EXPECT_NE(mpz_probab_prime_p(p.v, 50), 0) << text(n) << ": factor " << text(f.primes[i]);
        EXPECT_GT(mpz_cmp(p.v, last.v), 0) << text(n) << ": out of order at " << text(f.primes[i]);
        EXPECT_GE(f.exponents[i], 1u) << text(n);
        mpz_set(last.v, p.v);
        for (uint32_t e = 0; e < f.exponents[i]; ++e) mpz_mul(product.v, product.v, p.v);
    }
    Mpz expected;
    from_u128(expected.v, n < 2 ? 1 : n);
    EXPECT_EQ(mpz_cmp(product.v, expected.v), 0) << text(n);
}

TEST(FactorEngine, FactorsTheTableNumbers) {
    const char* const kNumbers[] = {
        "1",
        "2",
        "4",
        "360",
        "561",
        "3825123056546413051",
        "318665857834031151167461",
        "3317044064679887385961981",                // 1287836182261 * 2575672364521
        "340282366920938463463374607431768211455",  // 2^128 - 1
        "170141183460469231731687303715884105727",  // 2^127 - 1
        "85070591730234615404675050015203263089",   // (2^63 - 25)^2
        "36893488147419103231",                     // 2^65 - 1
        "1329227995784915872903807060280344577",    // 2^120 + 1
    };
    for (const char* s : kNumbers) {
        Mpz m(s);
        PrimePowers f;
        ASSERT_TRUE(factor_u128(&f, to_u128(m.v), kGo)) << s;
        expect_factorisation(to_u128(m.v), f);
    }
}

TEST(FactorEngine, FactorsRandomSamplesBelow2To128) {
    std::mt19937_64 rng(128);
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 4242);
    struct Shape {
        const char* name;
        std::vector<unsigned> bits;  // a product of the primes after random numbers of these sizes
        unsigned power;              // the first prime raised to it
        int count;
    };
    const Shape kShapes[] = {
        {"random", {}, 1, 120},
        {"two 64-bit primes", {64, 64}, 1, 3},
        {"48 and 80 bits", {48, 80}, 1, 4},
        {"three 40-bit primes", {40, 40, 40}, 1, 4},
        {"square of a 63-bit prime", {63}, 2, 4},
        {"cube of a 42-bit prime times a prime", {42, 2 + 20}, 3, 4},
        {"fifth power", {25, 3}, 5, 4},
        {"seventh power", {18, 2}, 7, 4},
        {"prime below 2^128", {128}, 1, 4},
        {"small factors times a 100-bit prime", {5, 9, 13, 100}, 1, 6},
    };
    for (const auto& shape : kShapes) {
        for (int i = 0; i < shape.count; ++i) {
            Mpz n("1"), p;
            if (shape.bits.empty()) {
                mpz_urandomb(n.v, state, 1 + static_cast<unsigned>(rng() % 128));
            }
            for (size_t j = 0; j < shape.bits.size(); ++j) {
                mpz_urandomb(p.v, state, shape.bits[j]);
                mpz_setbit(p.v, shape.bits[j] - 1);
                mpz_nextprime(p.v, p.v);
                for (unsigned e = 0; e < (j == 0 ? shape.power : 1); ++e) mpz_mul(n.v, n.v, p.v);
            }
            if (mpz_sizeinbase(n.v, 2) > 128) mpz_fdiv_r_2exp(n.v, n.v, 128);
            const u128 x = to_u128(n.v);
            PrimePowers f;
            ASSERT_TRUE(factor_u128(&f, x, kGo)) << shape.name << " " << text(x);
            expect_factorisation(x, f);
        }
    }
    gmp_randclear(state);
}

TEST(FactorEngine, FactorsCarmichaelNumbers) {
    // Chernick's (6k + 1)(12k + 1)(18k + 1) is a Carmichael number when all three factors are prime.
    int found = 0;
    for (uint64_t k = 1000000; found < 6; ++k) {
        const u128 a = 6 * k + 1, b = 12 * k + 1, c = 18 * k + 1;
        if (!gmp_prime(a) || !gmp_prime(b) || !gmp_prime(c)) continue;
        ++found;
        const u128 n = a * b * c;
        EXPECT_FALSE(proven_is_prime(n, kGo)) << text(n);
        PrimePowers f;
        ASSERT_TRUE(factor_u128(&f, n, kGo)) << text(n);
        ASSERT_EQ(f.count, 3) << text(n);
        EXPECT_TRUE(f.primes[0] == a && f.primes[1] == b && f.primes[2] == c) << text(n);
    }
}

TEST(FactorEngine, IntegerRootsAreFloors) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 3000; ++i) {
        const u128 m = (static_cast<u128>(rng()) << 64 | rng()) >> (rng() % 128);
        const int k = 1 + static_cast<int>(rng() % 9);
        const u128 r = integer_root(m, k);
        Mpz mm, rr;
        from_u128(mm.v, m);
        mpz_root(rr.v, mm.v, static_cast<unsigned long>(k));
        EXPECT_EQ(text(r), text(to_u128(rr.v))) << text(m) << " root " << k;
    }
}

TEST(FactorEngine, RhoSieveAndEcmFindProperDivisors) {
    // Rho on one and two words, then ECM on a product of primes of 50 and 70 bits, each divisor proper.
    const u128 p32 = 4294967291u, q32 = 4294967279u;
    const u128 d1 = rho_divisor(p32 * q32, 1, 2, UINT64_MAX, kGo);
    EXPECT_TRUE(d1 == p32 || d1 == q32) << text(d1);
    const u128 p30 = 1073741789, q90 = parse("1237940039285380274899124191");
    const u128 d2 = rho_divisor(p30 * q90, 1, 2, UINT64_MAX, kGo);
    EXPECT_TRUE(d2 == p30 || d2 == q90) << text(d2);
    const u128 p50 = parse("1125899906842597"), q70 = parse("1180591620717411303389");
    const u128 d3 = ecm_divisor(p50 * q70, kGo);
    EXPECT_TRUE(d3 == p50 || d3 == q70) << text(d3);
    const StopFlag stopped{1};
    EXPECT_EQ(ecm_divisor(p50 * q70, stopped), 0u);
    EXPECT_EQ(rho_divisor(p30 * q90, 1, 2, UINT64_MAX, stopped), 0u);
    EXPECT_EQ(qs_divisor(p50 * q70, stopped), 0u);
}

TEST(FactorEngine, TheSieveSplitsNumbersOfEverySize) {
    // Sizes across the sieve's size table (the smallest also exhaust the first window of A factors), a square
    // factor, and a small prime factor that lands in the factor base.
    struct SieveCase {
        unsigned p_bits, q_bits, p_power;
    };
    const SieveCase kCases[] = {{21, 21, 1}, {30, 34, 1}, {40, 40, 1}, {48, 50, 1}, {56, 56, 1},
                                {30, 97, 1}, {60, 64, 1}, {64, 64, 1}, {40, 40, 2}, {13, 110, 1}};
    gmp_randstate_t state;
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 1993);
    for (const auto& c : kCases) {
        for (int i = 0; i < 3; ++i) {
            Mpz p, q, n;
            for (auto [x, bits] : {std::pair{&p, c.p_bits}, std::pair{&q, c.q_bits}}) {
                mpz_urandomb(x->v, state, bits - 1);
                mpz_setbit(x->v, bits - 1);
                mpz_nextprime(x->v, x->v);
            }
            mpz_pow_ui(n.v, p.v, c.p_power);
            mpz_mul(n.v, n.v, q.v);
            if (mpz_sizeinbase(n.v, 2) > 128) continue;
            const u128 x = to_u128(n.v);
            const u128 d = qs_divisor(x, kGo);
            EXPECT_TRUE(d > 1 && d < x && x % d == 0) << text(x) << " gave " << text(d);
        }
    }
    gmp_randclear(state);
}

}  // namespace
