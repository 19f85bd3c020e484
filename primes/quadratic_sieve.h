// The self-initialising quadratic sieve (Pomerance 1982; Alford and Pomerance 1993, "Implementing the
// self-initializing quadratic sieve") for divisors of numbers below 2^128, with a Knuth-Schroeppel multiplier and
// one large prime per relation. Unlike rho and ECM, whose time grows with the smallest prime factor and scatters
// widely from number to number, its time depends only on the size of n: about a factor base worth of relations
// (A x + B)^2 = A g(x) mod k n, each g(x) smooth over the factor base, combined by linear algebra over GF(2) into a
// congruence of squares X^2 = Y^2 mod n.
#pragma once

#include <cstdint>

#include "primes/montgomery128.h"
#include "primes/wheel_table.h"

// A divisor 1 < d < n of the odd composite n >= 2^40 that is not a perfect power; 0 when the stop flag was set (it
// is read once per polynomial, every few tens of microseconds) or, very rarely, when no congruence split n.
u128 qs_divisor(u128 n, const StopFlag& stop);
