// Complete factorisation of numbers below 2^128: trial division along the wheel for the small primes, then for the
// cofactor a proven primality test, perfect powers by integer roots, and divisors by Pollard-Brent rho, the
// quadratic sieve and (as a fallback) ECM.
#pragma once

#include <cstdint>

#include "primes/montgomery128.h"
#include "primes/wheel_table.h"

inline constexpr int kMaxPrimePowers = 26;  // distinct primes; the product of the first 27 exceeds 2^128

// Trial division finds every prime factor up to this bound; a cofactor is left to the other methods. The wheel's 780
// candidates up to it cost about 5 us, less than one proven test of a cofactor, while rho would spend a few hundred
// steps on each such factor.
inline constexpr uint64_t kFactorTrialBound = 1u << 12;

// Distinct primes with their exponents, in increasing order.
struct PrimePowers {
    int count;
    u128 primes[kMaxPrimePowers];
    uint32_t exponents[kMaxPrimePowers];
};

// Fills out with the factorisation of n (count 0 for n < 2). False when the stop flag ended the work, leaving out
// incomplete.
bool factor_u128(PrimePowers* out, u128 n, const StopFlag& stop);

// Adds the prime factors of m > 1, which has none up to kFactorTrialBound, to out (each exponent times
// multiplicity) and sorts out. False when stopped.
bool factor_cofactor(PrimePowers* out, u128 m, const StopFlag& stop);

// floor(m^(1/k)) for k >= 1.
u128 integer_root(u128 m, int k);
