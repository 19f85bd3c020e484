#include "primes/factor_engine.h"

#include <cmath>

#include "primes/ecm_factor.h"
#include "primes/proven_prime.h"
#include "primes/quadratic_sieve.h"
#include "primes/rho_factor.h"

namespace {

// Rho steps spent on a two-word cofactor before the quadratic sieve takes over: enough for factors up to about
// 2^34, found in a few milliseconds, which is less than the sieve needs for the larger cofactors.
inline constexpr uint64_t kRhoStepsBeforeSieve = uint64_t{1} << 17;

void add_prime(PrimePowers* out, u128 p, uint32_t exponent) {
    for (int i = 0; i < out->count; ++i) {
        if (out->primes[i] == p) {
            out->exponents[i] += exponent;
            return;
        }
    }
    if (out->count == kMaxPrimePowers) return;  // cannot happen below 2^128
    out->primes[out->count] = p;
    out->exponents[out->count] = exponent;
    ++out->count;
}

void sort_primes(PrimePowers* out) {
    for (int i = 1; i < out->count; ++i) {
        const u128 p = out->primes[i];
        const uint32_t e = out->exponents[i];
        int j = i;
        for (; j > 0 && out->primes[j - 1] > p; --j) {
            out->primes[j] = out->primes[j - 1];
            out->exponents[j] = out->exponents[j - 1];
        }
        out->primes[j] = p;
        out->exponents[j] = e;
    }
}

// r^k, or 0 when it passes 2^128 - 1.
u128 power_or_zero(u128 r, int k) {
    u128 p = 1;
    for (int i = 0; i < k; ++i) {
        if (r != 0 && p > ~static_cast<u128>(0) / r) return 0;
        p *= r;
    }
    return p;
}

// A divisor 1 < d < m of the composite m, not a perfect power; 0 when stopped.
u128 find_divisor(u128 m, const StopFlag& stop) {
    if (m >> 64 == 0) {
        for (uint64_t c = 1; stop.load(std::memory_order_relaxed) == 0; ++c) {
            const u128 d = rho_divisor(m, c, 2, UINT64_MAX, stop);
            if (d != 0) return d;
        }
        return 0;
    }
    // The sieve's time depends only on the size of m (at most a few tens of milliseconds below 2^128); ECM stays
    // as the fallback for the rare sieve run whose congruences all come out trivial.
    u128 d = rho_divisor(m, 1, 2, kRhoStepsBeforeSieve, stop);
    if (d == 0) d = qs_divisor(m, stop);
    if (d == 0 && stop.load(std::memory_order_relaxed) == 0) d = ecm_divisor(m, stop);
    return d;
}

// Adds the prime factors of m > 0, whose prime factors all exceed kFactorTrialBound, each multiplicity times.
bool split(PrimePowers* out, u128 m, uint32_t multiplicity, const StopFlag& stop) {
    if (m == 1) return true;
    if (proven_is_prime(m, stop)) {
        add_prime(out, m, multiplicity);
        return true;
    }
    if (stop.load(std::memory_order_relaxed) != 0) return false;
    // A power r^k with every prime factor above 2^12 has k <= 10 below 2^128; prime exponents suffice, since the
    // root is split again.
    for (int k : {2, 3, 5, 7}) {
        const u128 r = integer_root(m, k);
        if (r <= kFactorTrialBound) break;
        if (power_or_zero(r, k) == m) return split(out, r, multiplicity * static_cast<uint32_t>(k), stop);
    }
    const u128 d = find_divisor(m, stop);
    if (d == 0) return false;
    return split(out, d, multiplicity, stop) && split(out, m / d, multiplicity, stop);
}

}  // namespace

u128 integer_root(u128 m, int k) {
    if (k == 1 || m < 2) return m;
    u128 r = static_cast<u128>(std::pow(static_cast<long double>(m), 1.0L / k));
    while (r > 0 && (power_or_zero(r, k) == 0 || power_or_zero(r, k) > m)) --r;
    while (power_or_zero(r + 1, k) != 0 && power_or_zero(r + 1, k) <= m) ++r;
    return r;
}

bool factor_cofactor(PrimePowers* out, u128 m, const StopFlag& stop) {
    const bool done = split(out, m, 1, stop);
    sort_primes(out);
    return done;
}

bool factor_u128(PrimePowers* out, u128 n, const StopFlag& stop) {
    out->count = 0;
    if (n < 2) return true;
    // The wheel's candidates up to the trial bound; each divisor found is prime, the smaller ones being divided out.
    uint64_t d = 1;
    int index = 0;
    for (;;) {
        d += wheel_gap_table[index];
        index = index + 1 == kWheelGapCount ? kWheelRestartIndex : index + 1;
        if (d > kFactorTrialBound || static_cast<u128>(d) * d > n) break;
        if (n % d != 0) continue;
        uint32_t exponent = 0;
        do {
            n /= d;
            ++exponent;
        } while (n % d == 0);
        add_prime(out, d, exponent);
    }
    if (n == 1) return true;
    if (static_cast<u128>(d) * d > n) {
        add_prime(out, n, 1);
        return true;
    }
    return factor_cofactor(out, n, stop);
}
