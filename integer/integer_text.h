// BigInt values to and from UTF-16 text in the bases 2 to 16, with optional digit groups. Readers drop leading
// and trailing spaces; writers never pass the caller's capacity and write the error marker "[!]" instead of a text
// that does not fit.
#pragma once

#include <cstdint>

#include "integer/bigint.h"

// Reading flags.
enum IntegerParseFlags : uint32_t {
    kIntParseAllowGroups = 1u,  // a member of group_chars between two digits is skipped
    kIntParseLowerDigits = 2u,  // the digits a-f are accepted besides A-F
};

// Writing flags: the grouping and sign bits of the format flags of real_text.h.
enum IntegerFormatFlags : uint32_t {
    kIntFmtAlwaysSign = 1u << 25,   // rationals: a sign before every value
    kIntFmtGroupDigits = 1u << 27,  // group_chars[0] between groups of 3 (base 10) or 4 digits
};

// r = the number written in text (length -1: zero-terminated) in `base` (0 means 10), at the width int_limbs.
// A single "+" may precede the digits. An invalid character, a digit not below the base or a text without digits
// raises 21, a value that does not fit raises 12, a base outside 2..16 raises 14; r is then 0. An error pending on
// entry wins over the call's own. Returns true when the text was read without error.
bool bigint_from_text(BigInt* r, const char16_t* text, int length, uint32_t flags, int base);

// Writes value in `base` (0 means 10) without terminator and returns the number of characters. A pending error
// puts "!" in front. A bad base raises 14 and a text longer than capacity raises 20 (unless an error is pending);
// both write "[!]" instead (nothing when capacity < 3).
int bigint_to_text(char16_t* buffer, int capacity, const BigInt* value, uint32_t flags, int base);

// As bigint_to_text into the next text_ring buffer with capacity 20099, terminated; returns that buffer.
char16_t* bigint_to_ring(const BigInt* value, uint32_t flags, int base);

// Writes the error marker "[!]" when capacity allows it and returns its length (3, or 0).
int text_error_marker(char16_t* buffer, int capacity);
