// The prime modules at their documented workloads: the exact test of large primes and of an interval, the next prime
// after 2^127, factorisations of 2^128 - 1 and of products of two 64-bit primes, and the probabilistic test of a
// 1000-digit prime (GMP finds that prime and runs its own test beside ours for comparison).
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "numeric/num_context.h"
#include "primes/prime_factors.h"
#include "primes/prime_numbers.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

void set_up(int width) {
    static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
    (void)initialised;
    num_ctx.int_limbs = width;
    clear_error_state();
}

void count_pieces(void* target, const char16_t*) {
    ++*static_cast<int64_t*>(target);
}

void BM_exact_test_mersenne_61(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    const uint64_t n[2] = {(1ull << 61) - 1, 0};
    for (auto _ : state) benchmark::DoNotOptimize(exact_is_prime(n, stop));
}
BENCHMARK(BM_exact_test_mersenne_61)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_exact_test_mersenne_127(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    const uint64_t n[2] = {UINT64_MAX, UINT64_MAX >> 1};
    for (auto _ : state) {
        if (!exact_is_prime(n, stop)) state.SkipWithError("2^127 - 1 was taken for composite");
    }
}
BENCHMARK(BM_exact_test_mersenne_127)->Unit(benchmark::kMillisecond);

void BM_exact_next_prime_after_2_127(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    static SPrimeNumberCalc job;
    job = SPrimeNumberCalc{};
    job.method = kPrimeMethodExact;
    job.mode = kPrimeModeNext;
    job.number[1] = uint64_t{1} << 63;
    job.interval = kPrimeIntervalMax;
    job.base = 10;
    int64_t pieces = 0;
    for (auto _ : state) run_prime_job(job, JobSink{count_pieces, nullptr, &pieces}, stop);
    state.counters["pieces"] = static_cast<double>(pieces);
}
BENCHMARK(BM_exact_next_prime_after_2_127)->Unit(benchmark::kMillisecond);

void BM_exact_interval_1000_from_2_127(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    static SPrimeNumberCalc job;
    job = SPrimeNumberCalc{};
    job.method = kPrimeMethodExact;
    job.mode = kPrimeModeInterval;
    job.number[1] = uint64_t{1} << 63;
    job.interval = 1000;
    job.base = 10;
    int64_t pieces = 0;
    for (auto _ : state) run_prime_job(job, JobSink{count_pieces, nullptr, &pieces}, stop);
    state.counters["pieces"] = static_cast<double>(pieces);
}
BENCHMARK(BM_exact_interval_1000_from_2_127)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_exact_interval_1e5_from_1e12(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    static SPrimeNumberCalc job;
    job = SPrimeNumberCalc{};
    job.method = kPrimeMethodExact;
    job.mode = kPrimeModeInterval;
    job.number[0] = 1000000000000ull;
    job.interval = 100000;
    job.base = 10;
    int64_t pieces = 0;
    for (auto _ : state) run_prime_job(job, JobSink{count_pieces, nullptr, &pieces}, stop);
    state.counters["pieces"] = static_cast<double>(pieces);
}
BENCHMARK(BM_exact_interval_1e5_from_1e12)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_factorize_2_128_minus_1(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    const uint64_t n[2] = {UINT64_MAX, UINT64_MAX};
    FactorList f;
    for (auto _ : state) {
        factorize(&f, n, stop);
        benchmark::DoNotOptimize(f.count);
    }
}
BENCHMARK(BM_factorize_2_128_minus_1)->Unit(benchmark::kMillisecond);

// Products of two primes of 64 bits: the hardest case below 2^128 (rho alone would need about 2^32 steps).
// The factors are the primes after these starting points.
const uint64_t kSemiprimeStarts[][2] = {
    {0xC000000000000000ull, 0xF000000000000000ull},
    {0x8000000000000000ull, 0xFFFFFFFFFFFFFF00ull},
    {0x9E3779B97F4A7C15ull, 0xBF58476D1CE4E5B9ull},
    {0xD6E8FEB86659FD93ull, 0xA0761D6478BD642Full},
};

void BM_factorize_two_64_bit_primes(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    mpz_t p, q;
    mpz_inits(p, q, nullptr);
    mpz_set_ui(p, kSemiprimeStarts[state.range(0)][0]);
    mpz_set_ui(q, kSemiprimeStarts[state.range(0)][1]);
    mpz_nextprime(p, p);
    mpz_nextprime(q, q);
    mpz_mul(p, p, q);
    uint64_t n[2] = {0, 0};
    mpz_export(n, nullptr, -1, 8, 0, 0, p);
    mpz_clears(p, q, nullptr);
    FactorList f;
    for (auto _ : state) {
        factorize(&f, n, stop);
        if (f.count != 2) state.SkipWithError("not two prime factors");
    }
}
BENCHMARK(BM_factorize_two_64_bit_primes)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// 300 random products of two 64-bit primes (fixed seed): the time is their sum; the counters give the mean and the
// slowest single factorisation, which is what a user waits for at worst.
void BM_factorize_random_64_by_64_bit_products(benchmark::State& state) {
    set_up(kExactIntLimbs);
    StopFlag stop{0};
    constexpr int kCount = 300;
    std::vector<std::array<uint64_t, 2>> numbers(kCount);
    gmp_randstate_t random;
    gmp_randinit_default(random);
    gmp_randseed_ui(random, 64064);
    mpz_t p, q;
    mpz_inits(p, q, nullptr);
    for (auto& n : numbers) {
        do {
            for (mpz_ptr x : {p, q}) {
                mpz_urandomb(x, random, 63);
                mpz_setbit(x, 63);
                mpz_nextprime(x, x);
            }
            mpz_mul(p, p, q);
        } while (mpz_sizeinbase(p, 2) > 128);
        n = {0, 0};
        mpz_export(n.data(), nullptr, -1, 8, 0, 0, p);
    }
    mpz_clears(p, q, nullptr);
    gmp_randclear(random);
    FactorList f;
    double worst = 0, total = 0;
    for (auto _ : state) {
        for (const auto& n : numbers) {
            const auto start = std::chrono::steady_clock::now();
            factorize(&f, n.data(), stop);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            if (f.count != 2) state.SkipWithError("not two prime factors");
            worst = std::max(worst, ms);
            total += ms;
        }
    }
    state.counters["mean_ms"] = total / (kCount * static_cast<double>(state.iterations()));
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_factorize_random_64_by_64_bit_products)->Unit(benchmark::kSecond)->Iterations(1);

// The first prime above 10^999 (1000 digits).
void prime_1000_digits(mpz_t p) {
    mpz_ui_pow_ui(p, 10, 999);
    mpz_nextprime(p, p);
}

void BM_probabilistic_test_1000_digits(benchmark::State& state) {
    mpz_t p;
    mpz_init(p);
    prime_1000_digits(p);
    set_up(kProbabilisticIntLimbs);
    std::vector<uint64_t> n(kProbabilisticIntLimbs, 0);
    mpz_export(n.data(), nullptr, -1, 8, 0, 0, p);
    mpz_clear(p);
    for (auto _ : state) {
        if (is_composite(n.data())) state.SkipWithError("a prime was taken for composite");
    }
}
BENCHMARK(BM_probabilistic_test_1000_digits)->Unit(benchmark::kMillisecond);

void BM_gmp_probab_prime_1000_digits(benchmark::State& state) {
    mpz_t p;
    mpz_init(p);
    prime_1000_digits(p);
    for (auto _ : state) benchmark::DoNotOptimize(mpz_probab_prime_p(p, 2));
    mpz_clear(p);
}
BENCHMARK(BM_gmp_probab_prime_1000_digits)->Unit(benchmark::kMillisecond);

}  // namespace
