// Number text: reading RealNum and complex values from UTF-16 text and writing them back, driven by the character
// sets of num_ctx and by a 32-bit format flag word. Writers never pass the caller's capacity; a text that does not
// fit becomes "[!]" and raises error 20.
#pragma once

#include <cstdint>

#include "numeric/num_context.h"

// Format flags: bits 0-19 hold a digit count n (0 = the default count passed by the caller), the rest select forms.
enum FormatFlags : uint32_t {
    kFmtDigitMask = 0xFFFFFu,
    kFmtAlwaysSign = 1u << 25,      // write "+" or "-" before the mantissa
    kFmtNoExponentPlus = 1u << 26,  // no "+" before a non-negative exponent
    kFmtGroupDigits = 1u << 27,     // group the integer digits in threes with group_chars[0]
    kFmtPointZero = 1u << 28,       // a number without fractional digits gets ".0"
    kFmtFixed = 1u << 29,           // n is the number of digits after the decimal point
    kFmtScientific = 1u << 30,      // always scientific notation
    kFmtKeepZeros = 1u << 31,       // keep trailing zeros; pad with zeros beyond the precision
};

// Parse flags.
enum ParseFlags : uint32_t {
    kParseAllowGroups = 1u,  // digit-group separators are skipped between two mantissa digits
};

// Capacity used by format_to_ring: one text_ring buffer less the terminator.
inline constexpr int kRingTextCapacity = static_cast<int>(kTextRingUnits) - 1;

// ---- Output writer ---------------------------------------------------------------------------------------------
// Appends characters to a caller buffer. A character that does not fit is only counted, so length > capacity
// afterwards tells that the text was cut.
struct TextWriter {
    char16_t* buffer;
    int capacity;
    int length;
    int group_counter;  // digits left in the current group; -1 = no grouping
    char16_t group_char;
};

inline TextWriter text_writer_make(char16_t* buffer, int capacity) {
    return TextWriter{buffer, capacity, 0, -1, 0};
}

void text_writer_put(TextWriter* w, char16_t c);
void text_writer_put_ascii(TextWriter* w, const char* text);
// Writes a digit 0..9; while group_counter >= 0 a group separator precedes every full group but the first.
void text_writer_put_digit(TextWriter* w, int digit);
void text_writer_put_i64(TextWriter* w, int64_t value);
// Ends a text: when it did not fit, raises error 20 and replaces it by "[!]" (nothing when capacity < 3).
// Returns the final length.
int text_writer_finish(TextWriter* w);

// ---- Spaces ----------------------------------------------------------------------------------------------------
struct TextRange {
    int start;
    int length;
};

// Length of a zero-terminated text.
int text_length(const char16_t* text);

// The text without leading and trailing U+0020; length -1 reads up to the terminator. All spaces give length 0.
TextRange trim_spaces(const char16_t* text, int length);

// ---- Real numbers ----------------------------------------------------------------------------------------------
// Reads text (length -1: zero-terminated) into dst. Without an active guard the text is read with one extra digit
// and rounded half up to real_limbs limbs; under an active guard it is read at the working precision and the
// caller narrows. Text that breaks the grammar raises error 21 and yields +0.
void real_parse(RealNum* dst, const char16_t* text, int length, uint32_t parse_flags);

// Writes x without terminator and returns the length. default_digits is used when the flags' digit count is 0;
// callers pass 19 * real_limbs. A pending error puts "!" in front.
int real_format(char16_t* buffer, int capacity, const RealNum* x, uint32_t format_flags, int default_digits);

// Formats x with the default count 19 * real_limbs into the next text_ring buffer, terminates it and returns it.
// The buffer stays valid for the next four calls.
char16_t* format_to_ring(const RealNum* x, uint32_t format_flags);

// ---- Complex numbers -------------------------------------------------------------------------------------------
// A complex number is two RealNums of real_limbs + 1 words each, real part then imaginary part, contiguous.
inline RealNum* complex_imag(RealNum* z) {
    return z + num_ctx.real_limbs + 1;
}
inline const RealNum* complex_imag(const RealNum* z) {
    return z + num_ctx.real_limbs + 1;
}

// Reads "a", "bi", "a+bi", "bi+a", "i", "-i", "a+(b)i" and the like. Failure gives 0 + 0i and error 21; an error
// pending before the call is kept.
void complex_parse(RealNum* dst, const char16_t* text, int length, uint32_t parse_flags);

// Writes z as 3+4i, 3-i, -2i, i or 1+(2.5e-30)i and returns the length.
int complex_format(char16_t* buffer, int capacity, const RealNum* z, uint32_t format_flags);
