// Elementary functions at L = 53 (1007 digits) and L = 527 (10013 digits), each beside MPFR at the same number of
// bits. Arguments are fixed full-length mantissas.
#include <benchmark/benchmark.h>
#include <mpfr.h>

#include <cstdio>
#include <string>
#include <vector>

#include "numeric/real_arith.h"
#include "numeric/real_functions.h"

namespace {

struct Arg {
    std::vector<uint64_t> words;
    std::string text;  // the same value as decimal text for MPFR
};

// lead * 10^(exponent) with limb 0 = lead and pseudo-random further limbs.
Arg make_arg(int limbs, uint64_t lead, int64_t exponent) {
    Arg a;
    a.words.assign(static_cast<size_t>(limbs) + 1, 0);
    a.words[1] = lead;
    uint64_t s = 0x9E3779B97F4A7C15ull;
    for (int i = 1; i < limbs; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        a.words[1 + static_cast<size_t>(i)] = (s >> 1) % kLimbBase;
    }
    const int saved = num_ctx.real_limbs;
    num_ctx.real_limbs = limbs;
    real_set_exponent(a.words.data(), exponent, false);
    num_ctx.real_limbs = saved;
    char limb[24];
    for (int i = 0; i < limbs; ++i) {
        std::snprintf(limb, sizeof limb, i == 0 ? "%llu" : "%019llu",
                      static_cast<unsigned long long>(a.words[1 + static_cast<size_t>(i)]));
        a.text += limb;
    }
    a.text += 'e';
    a.text += std::to_string(exponent - 18 - 19 * static_cast<int64_t>(limbs - 1));
    return a;
}

void set_limbs(int limbs) {
    init_numeric_context();
    num_ctx.real_limbs = limbs;
    num_ctx.guard_digit_reduction = 0;
    num_ctx.error_code = 0;
}

using Unary = void (*)(RealNum*, const RealNum*);
using MpfrUnary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

void run_ours(benchmark::State& state, Unary f, uint64_t lead, int64_t exponent) {
    const int limbs = static_cast<int>(state.range(0));
    set_limbs(limbs);
    Arg x = make_arg(limbs, lead, exponent);
    std::vector<uint64_t> y(static_cast<size_t>(limbs) + 1);
    for (auto _ : state) {
        f(y.data(), x.words.data());
        benchmark::DoNotOptimize(y.data());
    }
    if (num_ctx.error_code != 0) state.SkipWithError("error code set");
}

void run_mpfr(benchmark::State& state, MpfrUnary f, uint64_t lead, int64_t exponent) {
    const int limbs = static_cast<int>(state.range(0));
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(19 * limbs * 3.3219280948873623) + 1;
    Arg x = make_arg(limbs, lead, exponent);
    mpfr_t xm, ym;
    mpfr_init2(xm, bits);
    mpfr_init2(ym, bits);
    mpfr_set_str(xm, x.text.c_str(), 10, MPFR_RNDN);
    for (auto _ : state) {
        f(ym, xm, MPFR_RNDN);
        benchmark::DoNotOptimize(ym);
    }
    mpfr_clear(xm);
    mpfr_clear(ym);
}

constexpr uint64_t k0_7 = 7000000000000000000ull;  // 0.7... arguments
constexpr uint64_t k2_7 = 2718281828459045235ull;  // 2.718... for the logarithm

void BM_exp(benchmark::State& s) {
    run_ours(s, real_exp, k0_7, -1);
}
void BM_mpfr_exp(benchmark::State& s) {
    run_mpfr(s, mpfr_exp, k0_7, -1);
}
void BM_ln(benchmark::State& s) {
    run_ours(s, real_ln, k2_7, 0);
}
void BM_mpfr_log(benchmark::State& s) {
    run_mpfr(s, mpfr_log, k2_7, 0);
}
void BM_sin(benchmark::State& s) {
    run_ours(s, real_sin, k0_7, -1);
}
void BM_mpfr_sin(benchmark::State& s) {
    run_mpfr(s, mpfr_sin, k0_7, -1);
}
void BM_atan(benchmark::State& s) {
    run_ours(s, real_atan, k0_7, -1);
}
void BM_mpfr_atan(benchmark::State& s) {
    run_mpfr(s, mpfr_atan, k0_7, -1);
}
void BM_sqrt(benchmark::State& s) {
    run_ours(s, real_sqrt, k2_7, 0);
}
void BM_mpfr_sqrt(benchmark::State& s) {
    run_mpfr(s, mpfr_sqrt, k2_7, 0);
}

// 2.5^1.7
void BM_pow(benchmark::State& state) {
    const int limbs = static_cast<int>(state.range(0));
    set_limbs(limbs);
    std::vector<uint64_t> x(static_cast<size_t>(limbs) + 1), y(x.size()), r(x.size());
    x[1] = 2500000000000000000ull;
    y[1] = 1700000000000000000ull;
    for (auto _ : state) {
        real_pow(r.data(), x.data(), y.data());
        benchmark::DoNotOptimize(r.data());
    }
}
void BM_mpfr_pow(benchmark::State& state) {
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(19 * state.range(0) * 3.3219280948873623) + 1;
    mpfr_t x, y, r;
    mpfr_inits2(bits, x, y, r, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(x, "2.5", 10, MPFR_RNDN);
    mpfr_set_str(y, "1.7", 10, MPFR_RNDN);
    for (auto _ : state) {
        mpfr_pow(r, x, y, MPFR_RNDN);
        benchmark::DoNotOptimize(r);
    }
    mpfr_clears(x, y, r, static_cast<mpfr_ptr>(nullptr));
}

// n! for n = range(1): word products below the threshold of the limb count, Stirling's series from there on.
void BM_factorial(benchmark::State& state) {
    const int limbs = static_cast<int>(state.range(0));
    const int64_t n = state.range(1);
    set_limbs(limbs);
    std::vector<uint64_t> x(static_cast<size_t>(limbs) + 1), r(x.size());
    real_from_i64(x.data(), n);
    for (auto _ : state) {
        real_factorial(r.data(), x.data());
        benchmark::DoNotOptimize(r.data());
    }
    state.SetLabel(n < real_factorial_threshold(limbs) ? "word products" : "Stirling");
}
void BM_mpfr_fac_ui(benchmark::State& state) {
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(19 * state.range(0) * 3.3219280948873623) + 1;
    mpfr_t r;
    mpfr_init2(r, bits);
    for (auto _ : state) {
        mpfr_fac_ui(r, static_cast<unsigned long>(state.range(1)), MPFR_RNDN);
        benchmark::DoNotOptimize(r);
    }
    mpfr_clear(r);
}

#define CALCARIUM_LIMBS(b) BENCHMARK(b)->Arg(53)->Arg(527)->Unit(benchmark::kMillisecond)
CALCARIUM_LIMBS(BM_exp);
CALCARIUM_LIMBS(BM_mpfr_exp);
CALCARIUM_LIMBS(BM_ln);
CALCARIUM_LIMBS(BM_mpfr_log);
CALCARIUM_LIMBS(BM_sin);
CALCARIUM_LIMBS(BM_mpfr_sin);
CALCARIUM_LIMBS(BM_atan);
CALCARIUM_LIMBS(BM_mpfr_atan);
CALCARIUM_LIMBS(BM_pow);
CALCARIUM_LIMBS(BM_mpfr_pow);
CALCARIUM_LIMBS(BM_sqrt);
CALCARIUM_LIMBS(BM_mpfr_sqrt);
BENCHMARK(BM_factorial)
    ->Args({53, 1000})
    ->Args({527, 1000})
    ->Args({53, 100000})
    ->Args({527, 100000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mpfr_fac_ui)
    ->Args({53, 1000})
    ->Args({527, 1000})
    ->Args({53, 100000})
    ->Args({527, 100000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
