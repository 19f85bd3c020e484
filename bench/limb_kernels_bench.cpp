#include <benchmark/benchmark.h>
#include <gmp.h>

#include <random>
#include <vector>

#include "numeric/limb_kernels.h"

namespace {

constexpr uint64_t kB = 10000000000000000000ull;

std::vector<uint64_t> random_limbs(int n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> v(n);
    for (auto& w : v) w = rng() % kB;
    v[0] = 1000000000000000000ull + v[0] % (kB - 1000000000000000000ull);
    return v;
}

// Arguments: n, m.
template <uint64_t (*Mul)(int, uint64_t*, const uint64_t*, const uint64_t*, int)>
void BM_MulLimbs(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int m = static_cast<int>(state.range(1));
    const auto a = random_limbs(n, 1), b = random_limbs(n, 2);
    std::vector<uint64_t> dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Mul(n, dst.data(), a.data(), b.data(), m));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MulLimbs<mul_limbs>)
    ->Args({2, 2})
    ->Args({4, 2})
    ->Args({10, 2})
    ->Args({53, 2})
    ->Args({527, 2})
    ->Args({527, 527});
BENCHMARK(BM_MulLimbs<mul_limbs_reference>)
    ->Args({2, 2})
    ->Args({4, 2})
    ->Args({10, 2})
    ->Args({53, 2})
    ->Args({527, 2})
    ->Args({527, 527});

// GMP's full product of binary operands of the same size, for scale.
void BM_GmpMulSameSize(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const mp_size_t words = n * 63 / 64 + 1;
    std::vector<mp_limb_t> a(words, 0x9E3779B97F4A7C15ull), b(words, 0xC2B2AE3D27D4EB4Full), r(2 * words);
    for (auto _ : state) {
        mpn_mul_n(r.data(), a.data(), b.data(), words);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GmpMulSameSize)->Arg(53)->Arg(527);

void BM_MulWord(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto a = random_limbs(n, 3);
    std::vector<uint64_t> dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mul_word(n, dst.data(), a.data(), 1234567890123456789ull));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MulWord)->Arg(53)->Arg(527);

// Arguments: n, divisor.
void BM_DivWord(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const uint64_t d = static_cast<uint64_t>(state.range(1));
    const auto a = random_limbs(n, 4);
    std::vector<uint64_t> dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(div_word(n, dst.data(), a.data(), d));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DivWord)->Args({527, 7})->Args({527, 100})->Args({527, 1234567890123})->Args({527, 9000000000000000007});

}  // namespace
