// Trial division along a wheel: the primes below 1000, the increments that skip every multiple of 2, 3, 5, 7, 11
// and 13, and the walk that tries the wheel's candidates as divisors of a BigInt.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "integer/bigint.h"

// One byte that the window (or a signal handler) sets to 1 to end a running job; the job polls it.
using StopFlag = std::atomic<uint8_t>;
static_assert(StopFlag::is_always_lock_free, "the stop flag is written from signal handlers");

inline constexpr int kSmallPrimeCount = 168;
// The 168 primes below 1000 in increasing order.
extern const std::array<uint16_t, kSmallPrimeCount> small_prime_table;

inline constexpr int kWheelGapCount = 5767;
inline constexpr int kWheelRestartIndex = 7;
inline constexpr uint64_t kWheelPeriod = 30030;
// Starting from 1, the first 7 increments reach 2, 3, 5, 7, 11, 13 and 17; the other 5760 reach every integer
// coprime to 30030 from 19 up to 30047 = 17 + 30030. After the last one the walk goes on at index 7.
extern const std::array<uint8_t, kWheelGapCount> wheel_gap_table;

// The last candidate tried and the index of the increment that leads to the next one.
struct WheelPosition {
    uint64_t divisor;
    int index;
};
inline constexpr WheelPosition kWheelFromTwo{1, 0};    // candidates 2, 3, 5, 7, 11, 13, 17, 19, ...
inline constexpr WheelPosition kWheelFromThree{2, 1};  // the same without 2

// Advances the position along the wheel and returns the first candidate that divides n (at the width int_limbs).
// Returns 0 when the candidate would pass the word range or `limit`, or when the stop flag is set (it is read once
// per candidate). The position is kept, so a later call resumes after the divisor found.
uint64_t wheel_next_divisor(const BigInt* n, uint64_t limit, WheelPosition* position, const StopFlag& stop);

// The remainder of the integer in words[0 .. count - 1] (least significant first) divided by d >= 1.
uint64_t trial_remainder(const uint64_t* words, int count, uint64_t d);

// Number of significant words of n at the width int_limbs.
int trial_word_count(const BigInt* n);
