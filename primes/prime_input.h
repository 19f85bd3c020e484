// The input texts of the two prime windows read into job records, written back in normalised form, and rewritten
// in another number base. Standard library only: the windows hand over their control texts and get texts back.
//
// Every function here uses the process-wide numeric context and message state, so the windows call them only
// while no job runs. They set the job width for their reads and restore the previous width afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "primes/prime_job.h"

// Characters of an input box that are read (and counted for the digit display).
inline constexpr size_t kPrimeNumbersInputChars = 8276;
inline constexpr size_t kPrimeFactorsInputChars = 60;

// The choices and texts of the prime-numbers window. number and interval are rewritten in normalised form when
// they read.
struct PrimeNumbersInput {
    std::u16string number;
    std::u16string interval;
    uint32_t method;  // PrimeMethod
    uint32_t mode;    // PrimeMode
    int32_t base;
    bool group_digits;  // the setting "thousands_sep_algebra"
};

// The choices and texts of the prime-factors window.
struct PrimeFactorsInput {
    std::u16string number;
    std::u16string interval;  // empty or all spaces: one number
    bool divisors;
    bool show_count;
    int32_t base;
    bool group_digits;
};

// Clears the message state, then fills the job. A start number that does not read at the job width or is 0, and an
// interval that does not read, does not fit one word or lies outside 1 .. the maximum, set message 1000 with the
// offending text and return false. A start number that reads is written back normalised even when the interval
// then fails.
bool prime_numbers_read_input(SPrimeNumberCalc* job, PrimeNumbersInput* input);
bool prime_factors_read_input(SPrimeFactorCalc* job, PrimeFactorsInput* input);

// The ASCII digits and letters among the first `limit` characters: the window's digit display.
int prime_input_digit_count(std::u16string_view text, size_t limit);

// Rewrites a number text read in old_base at `width` words as a text in new_base. Empty and all-space texts stay
// as they are; a text that does not read stays too and sets message 1000 with it (returning false).
bool prime_input_rebase(std::u16string* text, int width, int old_base, int new_base, bool group_digits);
