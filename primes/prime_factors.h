// Prime factorisation (trial division along the wheel for the small primes, then proven tests, rho and the sieve), the
// sorted list of all divisors generated level by level from it, and the job that writes one line per number of an
// interval. Every value has the width 2 (below 2^128).
#pragma once

#include <cstdint>

#include "integer/bigint.h"
#include "primes/prime_job.h"
#include "primes/wheel_table.h"

inline constexpr int kMaxPrimeFactors = 26;     // distinct primes; the product of the first 27 exceeds 2^128
inline constexpr int kMaxDivisors = 4096;       // divisors of one number
inline constexpr int kMaxLevelEntries = 1024;   // divisors with the same number of prime factors
inline constexpr int kFactorLineChars = 45051;  // a longer line is cut here and ends in "...\r\n"
inline constexpr int kFactorLineBuffer = kFactorLineChars + 5 + 1;

struct FactorList {
    int64_t count;                                      // distinct primes; -1: more than 26
    uint64_t primes[kMaxPrimeFactors][kExactIntLimbs];  // increasing
    uint64_t exponents[kMaxPrimeFactors];
};

struct DivisorList {
    int64_t count;                                    // -1: more than 4096 divisors, or more than 1024 on one level
    uint64_t divisors[kMaxDivisors][kExactIntLimbs];  // increasing
};

// Fills f with the prime factors of n (count 0 for n < 2). A width other than 2 gives count -1. A set stop flag
// ends the search early with a wrong or missing last entry, which the caller discards. The wheel tries the small
// divisors; above kFactorTrialBound the cofactor goes to the proven test, rho and the sieve, unless the algorithm is
// trial division alone.
void factorize(FactorList* f, const BigInt* n, const StopFlag& stop,
               ExactAlgorithm algorithm = ExactAlgorithm::kProven);

// Fills d with every divisor of the number factored in f, in increasing order; count -1 when f has count -1, an
// exponent outside 1 .. 255, or too many divisors.
void enumerate_divisors(DivisorList* d, const FactorList* f);

// Inserts value at its place in the increasing list; a full list gets count -1 (a list at -1 stays unchanged).
void insert_sorted(DivisorList* d, const uint64_t* value);

// Writes the factor or divisor line of each number n, n + 1, ... n + k - 1 to the sink, each line one piece.
// Ends without a line and without a message on a stop, with message 3100 on a numeric error (x passing 2^128 - 1)
// and with 3101 (the number as argument) when the factor or divisor limits are passed. Sets the width 2 for the
// job and restores it.
void run_factor_job(const SPrimeFactorCalc& job, const JobSink& sink, const StopFlag& stop,
                    ExactAlgorithm algorithm = ExactAlgorithm::kProven);
