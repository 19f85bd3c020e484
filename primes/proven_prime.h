// Primality of numbers below 2^128, proven rather than probable.
//
// Below 3317044064679887385961981 (about 3.3 * 10^24) strong probable-prime tests to the first 12 or 13 prime bases
// decide: no composite below that bound passes them (Sorenson and Webster 2015). Above it the same tests sort out
// composites, and a prime is then proven by the converse of Fermat's theorem (Lucas; Brillhart, Lehmer and
// Selfridge 1975): with n - 1 factored completely, n is prime when for every prime q dividing n - 1 some base a has
// a^(n-1) = 1 and a^((n-1)/q) != 1 mod n, since then n - 1 divides the order of the group of units mod n. The prime
// factors of n - 1 come from the factoring code, which proves each of them by this same test (they are at most
// (n - 1) / 2, so the recursion ends below the bound).
#pragma once

#include <cstdint>

#include "primes/montgomery128.h"
#include "primes/wheel_table.h"

// True when n is prime. A stop ends the work early with the answer false, which the caller discards after seeing
// the flag.
bool proven_is_prime(u128 n, const StopFlag& stop);

// The strong probable-prime test of odd n > 2 to the base b (2 <= b < n): n - 1 = d 2^s with d odd, and b^d = 1 or
// b^(d 2^i) = n - 1 for some i < s.
bool strong_probable_prime(u128 n, uint64_t b);
