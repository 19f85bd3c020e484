// Product, long division and modular power of BigInt at the widths in use (2 words for the prime-factor module,
// 129 for the probabilistic prime method, 33 in between; the product also at 512, where Karatsuba runs two levels
// deeper), with GMP's mpz functions on the same operands beside them.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <random>
#include <vector>

#include "integer/bigint.h"
#include "numeric/num_context.h"

namespace {

using Words = std::vector<uint64_t>;

// Operands: `fill` random words (top word non-zero) in a value of w words.
Words random_words(std::mt19937_64& rng, int w, int fill) {
    Words out(w, 0);
    for (int i = 0; i < fill; ++i) out[i] = rng();
    out[fill - 1] |= 1ull << 63;
    return out;
}

void to_mpz(mpz_t out, const Words& w) {
    mpz_import(out, w.size(), -1, 8, 0, 0, w.data());
}

void set_width(int w) {
    init_numeric_context();
    num_ctx.int_limbs = w;
    num_ctx.error_code = 0;
}

// Factors of half the width, so that the product fits.
void BM_bigint_mul(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    set_width(w);
    std::mt19937_64 rng(1);
    const int half = w / 2 > 0 ? w / 2 : 1;
    Words a = random_words(rng, w, half), b = random_words(rng, w, half), r(w);
    for (auto _ : state) {
        bigint_mul(r.data(), a.data(), b.data());
        benchmark::DoNotOptimize(r.data());
    }
    if (num_ctx.error_code != 0) state.SkipWithError("error raised");
}

void BM_gmp_mul(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    std::mt19937_64 rng(1);
    const int half = w / 2 > 0 ? w / 2 : 1;
    mpz_t a, b, r;
    mpz_inits(a, b, r, nullptr);
    to_mpz(a, random_words(rng, w, half));
    to_mpz(b, random_words(rng, w, half));
    for (auto _ : state) {
        mpz_mul(r, a, b);
        benchmark::DoNotOptimize(r);
    }
    mpz_clears(a, b, r, nullptr);
}

// A full-width dividend by a divisor of half the width (at least two words, so the long division runs).
void BM_bigint_divmod(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    set_width(w);
    std::mt19937_64 rng(2);
    const int half = w / 2 > 1 ? w / 2 : 2;
    Words a = random_words(rng, w, w), b = random_words(rng, w, half), q(w), m(w);
    for (auto _ : state) {
        bigint_divmod(q.data(), m.data(), a.data(), b.data());
        benchmark::DoNotOptimize(q.data());
    }
    if (num_ctx.error_code != 0) state.SkipWithError("error raised");
}

void BM_gmp_divmod(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    std::mt19937_64 rng(2);
    const int half = w / 2 > 1 ? w / 2 : 2;
    mpz_t a, b, q, m;
    mpz_inits(a, b, q, m, nullptr);
    to_mpz(a, random_words(rng, w, w));
    to_mpz(b, random_words(rng, w, half));
    for (auto _ : state) {
        mpz_tdiv_qr(q, m, a, b);
        benchmark::DoNotOptimize(q);
    }
    mpz_clears(a, b, q, m, nullptr);
}

// Odd modulus, base and exponent of the same length: 1 word at width 2, 16 words at 33, and at 129 a 1000-digit
// modulus (52 words, 3322 bits).
int powmod_words(int w) {
    return w == 2 ? 1 : (w == 33 ? 16 : 52);
}

void BM_bigint_powmod(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    set_width(w);
    std::mt19937_64 rng(3);
    const int n = powmod_words(w);
    Words m = random_words(rng, w, n), a = random_words(rng, w, n), e = random_words(rng, w, n), r(w);
    m[0] |= 1;
    a[n - 1] >>= 1;  // a < m
    for (auto _ : state) {
        bigint_powmod(r.data(), a.data(), e.data(), m.data());
        benchmark::DoNotOptimize(r.data());
    }
    if (num_ctx.error_code != 0) state.SkipWithError("error raised");
}

void BM_gmp_powm(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    std::mt19937_64 rng(3);
    const int n = powmod_words(w);
    Words m = random_words(rng, w, n), a = random_words(rng, w, n), e = random_words(rng, w, n);
    m[0] |= 1;
    a[n - 1] >>= 1;
    mpz_t ma, me, mm, r;
    mpz_inits(ma, me, mm, r, nullptr);
    to_mpz(ma, a);
    to_mpz(me, e);
    to_mpz(mm, m);
    for (auto _ : state) {
        mpz_powm(r, ma, me, mm);
        benchmark::DoNotOptimize(r);
    }
    mpz_clears(ma, me, mm, r, nullptr);
}

}  // namespace

BENCHMARK(BM_bigint_mul)->Arg(2)->Arg(33)->Arg(129)->Arg(512);
BENCHMARK(BM_gmp_mul)->Arg(2)->Arg(33)->Arg(129)->Arg(512);
BENCHMARK(BM_bigint_divmod)->Arg(2)->Arg(33)->Arg(129);
BENCHMARK(BM_gmp_divmod)->Arg(2)->Arg(33)->Arg(129);
BENCHMARK(BM_bigint_powmod)->Arg(2)->Arg(33)->Arg(129)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_powm)->Arg(2)->Arg(33)->Arg(129)->Unit(benchmark::kMicrosecond);
