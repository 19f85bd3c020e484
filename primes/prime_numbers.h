// Primality test, next prime and the primes of an interval, exactly below 2^128 (trial division along the wheel for
// small divisors, then a proven test) or probabilistically up to 1242 digits (trial division by the primes below 1000
// and two Euler-Jacobi tests).
#pragma once

#include <cstdint>

#include "integer/bigint.h"
#include "primes/prime_job.h"
#include "primes/wheel_table.h"

inline constexpr int kPrimeLineChars = 115;  // a list line grows past this only for a single long number

// ---- Probabilistic test (at the width int_limbs) ----------------------------------------------------------------
// True when n is composite, false when n is taken to be prime: n <= 1008 by the table of small primes, otherwise
// even numbers and multiples of the odd primes below 1000 are composite, and the rest must pass both Euler tests.
// The products of the tests (n^2 among them) are formed at the width: n >= 2^(32 W) raises error 12.
bool is_composite(const BigInt* n);

// For odd n > 1008 with e = (n - 1) / 2: true when 2^e mod n is 1 for (2/n) = +1, or n - 1 for (2/n) = -1.
bool euler_test_base2(const BigInt* n);
// The same with the base 3 and the sign jacobi_symbol(3, n).
bool euler_test_base3(const BigInt* n);
// The Jacobi symbol (a/n) for odd n, as +1 or -1 (a sharing a factor with n gives an undefined sign).
int jacobi_symbol(const BigInt* a, const BigInt* n);

// ---- Exact test (at the width 2) --------------------------------------------------------------------------------
// The wheel's candidates are tried up to this bound (or floor(sqrt(n)) when smaller); past it a number is decided
// by the proven test. One candidate costs about 6 ns and one strong probable-prime test of 127 bits about 3 us, so
// raising the bound pays while 0.19 B * 6 ns stays below 3 us * ln 2 / ln 2B, the share of survivors removed by
// the candidates up to 2B: up to about 250.
inline constexpr uint64_t kExactSieveBound = 256;

// True when n is prime: trial division by the wheel candidates up to floor(sqrt(n)), or up to kExactSieveBound and
// then the proven test. A stop ends the work early with an answer that the caller discards after seeing the flag.
bool exact_is_prime(const BigInt* n, const StopFlag& stop, ExactAlgorithm algorithm = ExactAlgorithm::kProven);

// ---- Jobs -------------------------------------------------------------------------------------------------------
// Run the job's mode with its method, sending the output text to the sink piece by piece. They set the width
// (2 or 129 words) for the job and restore it. A numeric error ends the job with message 3000 (unless a message is
// pending); a stop ends it at once, without the closing line and without a message of its own.
void run_prime_job_exact(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop,
                         ExactAlgorithm algorithm = ExactAlgorithm::kProven);
void run_prime_job_probabilistic(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop);
// Dispatches by method; method 0 runs nothing.
void run_prime_job(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop,
                   ExactAlgorithm algorithm = ExactAlgorithm::kProven);
