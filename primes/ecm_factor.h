// Lenstra's elliptic curve method (Lenstra 1987) for divisors of numbers below 2^128: Montgomery curves
// B y^2 = x^3 + A x^2 + x in projective x-only coordinates with the Montgomery ladder (Montgomery 1987), chosen by
// Suyama's parametrisation so that every group order is divisible by 12, and a second stage by the standard
// continuation with baby and giant steps.
#pragma once

#include <cstdint>

#include "primes/montgomery128.h"
#include "primes/wheel_table.h"

// One curve (sigma >= 6) with the stage bounds b1 <= b2 <= kEcmStage2Limit: a divisor 1 < d < n of the odd n, or 0.
u128 ecm_curve(u128 n, uint64_t sigma, uint64_t b1, uint64_t b2, const StopFlag& stop);

// Runs curves with growing bounds until one yields a divisor 1 < d < n of the odd composite n (n must not be a
// perfect power of a prime); 0 only when the stop flag was set. The flag is read every few microseconds.
u128 ecm_divisor(u128 n, const StopFlag& stop);

inline constexpr uint64_t kEcmStage2Limit = uint64_t{1} << 22;
