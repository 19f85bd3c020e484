// The prime modules at their documented workloads: exact trial division of one large prime and of an interval,
// the factorisation of 2^128 - 1, and the probabilistic test of a 1000-digit prime (GMP finds that prime and runs
// its own test beside ours for comparison).
#include <benchmark/benchmark.h>
#include <gmp.h>

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
