// RealNum multiplication, division and square root beside MPFR at the same number of digits. Rows with the same
// argument L compare directly: real_mul/53 against mpfr_mul/53 (19 * 53 digits, ceil(19 * 53 * log2 10) bits).
#include <benchmark/benchmark.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "numeric/limb_kernels.h"
#include "numeric/num_context.h"
#include "numeric/real_arith.h"

namespace {

const bool kContextReady = [] {
    init_numeric_context();
    return true;
}();

constexpr uint64_t kOne = 1000000000000000000ull;

// A normalised number with random digits, value in [1, 10).
std::vector<uint64_t> random_real(int n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> x(static_cast<size_t>(n) + 1, 0);
    x[1] = kOne + rng() % (kLimbBase - kOne);
    for (int i = 2; i <= n; ++i) x[i] = rng() % kLimbBase;
    return x;
}

// Installs precision L for one benchmark and restores the previous one.
struct Precision {
    int saved = num_ctx.real_limbs;
    explicit Precision(int n) { num_ctx.real_limbs = n; }
    ~Precision() { num_ctx.real_limbs = saved; }
};

void bm_mul_limbs(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<uint64_t> a = random_real(n, 1), b = random_real(n, 2), d(a.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(mul_limbs(n, d.data() + 1, a.data() + 1, b.data() + 1, 2));
        benchmark::ClobberMemory();
    }
}

void bm_real_mul(benchmark::State& state) {
    Precision p(static_cast<int>(state.range(0)));
    std::vector<uint64_t> a = random_real(num_ctx.real_limbs, 1), b = random_real(num_ctx.real_limbs, 2), d(a.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(real_mul(d.data(), a.data(), b.data()));
        benchmark::ClobberMemory();
    }
}

void bm_real_div(benchmark::State& state) {
    Precision p(static_cast<int>(state.range(0)));
    std::vector<uint64_t> a = random_real(num_ctx.real_limbs, 1), b = random_real(num_ctx.real_limbs, 2), d(a.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(real_div(d.data(), a.data(), b.data()));
        benchmark::ClobberMemory();
    }
}

void bm_real_sqrt(benchmark::State& state) {
    Precision p(static_cast<int>(state.range(0)));
    std::vector<uint64_t> a = random_real(num_ctx.real_limbs, 1), d(a.size());
    for (auto _ : state) {
        real_sqrt(d.data(), a.data());
        benchmark::ClobberMemory();
    }
}

// MPFR operands with the binary precision of 19L decimal digits, from the same random digits.
struct MpfrOperands {
    mpfr_t a, b, d;
    explicit MpfrOperands(int n) {
        const auto bits = static_cast<mpfr_prec_t>(std::ceil(19.0 * n * std::log2(10.0)));
        mpfr_inits2(bits, a, b, d, static_cast<mpfr_ptr>(nullptr));
        set(a, random_real(n, 1));
        set(b, random_real(n, 2));
    }
    ~MpfrOperands() { mpfr_clears(a, b, d, static_cast<mpfr_ptr>(nullptr)); }
    static void set(mpfr_t x, const std::vector<uint64_t>& limbs) {
        mpfr_set_ui(x, 0, MPFR_RNDN);
        for (size_t i = 1; i < limbs.size(); ++i) {
            mpfr_mul_ui(x, x, kLimbBase, MPFR_RNDN);
            mpfr_add_ui(x, x, limbs[i], MPFR_RNDN);
        }
        mpfr_div_2ui(x, x, static_cast<unsigned long>(mpfr_get_exp(x) - 2), MPFR_RNDN);  // into [2, 4)
    }
};

void bm_mpfr_mul(benchmark::State& state) {
    MpfrOperands m(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        mpfr_mul(m.d, m.a, m.b, MPFR_RNDZ);
        benchmark::ClobberMemory();
    }
}

void bm_mpfr_div(benchmark::State& state) {
    MpfrOperands m(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        mpfr_div(m.d, m.a, m.b, MPFR_RNDZ);
        benchmark::ClobberMemory();
    }
}

void bm_mpfr_sqrt(benchmark::State& state) {
    MpfrOperands m(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        mpfr_sqrt(m.d, m.a, MPFR_RNDZ);
        benchmark::ClobberMemory();
    }
}

void limb_counts(benchmark::internal::Benchmark* b) {
    for (int n : {1, 2, 10, 53, 264, 527}) b->Arg(n);
}

}  // namespace

BENCHMARK(bm_mul_limbs)->Name("mul_limbs")->Apply(limb_counts);
BENCHMARK(bm_real_mul)->Name("real_mul")->Apply(limb_counts);
BENCHMARK(bm_mpfr_mul)->Name("mpfr_mul")->Apply(limb_counts);
BENCHMARK(bm_real_div)->Name("real_div")->Apply(limb_counts);
BENCHMARK(bm_mpfr_div)->Name("mpfr_div")->Apply(limb_counts);
BENCHMARK(bm_real_sqrt)->Name("real_sqrt")->Apply(limb_counts);
BENCHMARK(bm_mpfr_sqrt)->Name("mpfr_sqrt")->Apply(limb_counts);
