// Elementary functions at L = 53 (1007 digits) and L = 527 (10013 digits), each beside MPFR at the same number of
// bits. Our rows run as the typed layer calls the functions: inside a guard (two extra digits, three for the power,
// a whole limb for the factorial) on operands widened to it, so at L = 527 they work with 528 limbs. Arguments are
// fixed full-length mantissas.
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
using Binary = void (*)(RealNum*, const RealNum*, const RealNum*);
using MpfrUnary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// f(x) as the typed layer computes it: the operand widened into a guard of k digits, the result rounded back.
void guarded_unary(std::vector<uint64_t>& y, const std::vector<uint64_t>& x, Unary f, int k) {
    std::vector<uint64_t> w(x.size() + 1);
    begin_guard(k);
    guard_widen(w.data(), x.data());
    f(w.data(), w.data());
    guard_narrow(y.data(), w.data());
    end_guard();
}

void run_ours(benchmark::State& state, Unary f, uint64_t lead, int64_t exponent, int guard_digits = 2) {
    const int limbs = static_cast<int>(state.range(0));
    set_limbs(limbs);
    Arg x = make_arg(limbs, lead, exponent);
    std::vector<uint64_t> y(static_cast<size_t>(limbs) + 1);
    for (auto _ : state) {
        guarded_unary(y, x.words, f, guard_digits);
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

#define CALCARIUM_UNARY(name, ours, mpfr, lead, exponent) \
    void BM_##name(benchmark::State& s) {                 \
        run_ours(s, ours, lead, exponent);                \
    }                                                     \
    void BM_mpfr_##name(benchmark::State& s) {            \
        run_mpfr(s, mpfr, lead, exponent);                \
    }

CALCARIUM_UNARY(exp, real_exp, mpfr_exp, k0_7, -1)
CALCARIUM_UNARY(ln, real_ln, mpfr_log, k2_7, 0)
CALCARIUM_UNARY(sin, real_sin, mpfr_sin, k0_7, -1)
CALCARIUM_UNARY(cos, real_cos, mpfr_cos, k0_7, -1)
CALCARIUM_UNARY(tan, real_tan, mpfr_tan, k0_7, -1)
CALCARIUM_UNARY(sinh, real_sinh, mpfr_sinh, k0_7, -1)
CALCARIUM_UNARY(atan, real_atan, mpfr_atan, k0_7, -1)
CALCARIUM_UNARY(asin, real_asin, mpfr_asin, k0_7, -1)
CALCARIUM_UNARY(acos, real_acos, mpfr_acos, k0_7, -1)
CALCARIUM_UNARY(sqrt, real_sqrt, mpfr_sqrt, k2_7, 0)

// 2.5^1.7, inside a guard of three digits.
void BM_pow(benchmark::State& state) {
    const int limbs = static_cast<int>(state.range(0));
    set_limbs(limbs);
    std::vector<uint64_t> x(static_cast<size_t>(limbs) + 1), y(x.size()), r(x.size());
    x[1] = 2500000000000000000ull;
    y[1] = 1700000000000000000ull;
    std::vector<uint64_t> wx(x.size() + 1), wy(x.size() + 1);
    for (auto _ : state) {
        begin_guard(3);
        guard_widen(wx.data(), x.data());
        guard_widen(wy.data(), y.data());
        real_pow(wx.data(), wx.data(), wy.data());
        guard_narrow(r.data(), wx.data());
        end_guard();
        benchmark::DoNotOptimize(r.data());
    }
    if (num_ctx.error_code != 0) state.SkipWithError("error code set");
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

// n! for n = range(1) inside a guard of a whole limb: word products below the threshold of the guarded limb count,
// Stirling's series from there on.
void BM_factorial(benchmark::State& state) {
    const int limbs = static_cast<int>(state.range(0));
    const int64_t n = state.range(1);
    set_limbs(limbs);
    Arg x;
    x.words.assign(static_cast<size_t>(limbs) + 1, 0);
    real_from_i64(x.words.data(), n);
    std::vector<uint64_t> r(x.words.size());
    for (auto _ : state) {
        guarded_unary(r, x.words, real_factorial, 19);
        benchmark::DoNotOptimize(r.data());
    }
    if (num_ctx.error_code != 0) state.SkipWithError("error code set");
    state.SetLabel(n < real_factorial_threshold(limbs + 1) ? "word products" : "Stirling");
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
CALCARIUM_LIMBS(BM_mpfr_ln);
CALCARIUM_LIMBS(BM_sin);
CALCARIUM_LIMBS(BM_mpfr_sin);
CALCARIUM_LIMBS(BM_cos);
CALCARIUM_LIMBS(BM_mpfr_cos);
CALCARIUM_LIMBS(BM_tan);
CALCARIUM_LIMBS(BM_mpfr_tan);
CALCARIUM_LIMBS(BM_sinh);
CALCARIUM_LIMBS(BM_mpfr_sinh);
CALCARIUM_LIMBS(BM_atan);
CALCARIUM_LIMBS(BM_mpfr_atan);
CALCARIUM_LIMBS(BM_asin);
CALCARIUM_LIMBS(BM_mpfr_asin);
CALCARIUM_LIMBS(BM_acos);
CALCARIUM_LIMBS(BM_mpfr_acos);
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
