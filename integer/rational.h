// Exact fractions of the number type "rat", stored in the L + 1 words of a RealNum so that a value can change
// between exact and approximate form in place (L = real_limbs).
//
// Layout: word 0 is 2^63 for a non-negative and 2^63 + 1 for a negative rational (read as a RealNum header this is
// the exponent -2^62, outside the real range, so the two forms never meet). With h = L/2, words 1..h hold the
// numerator's 64-bit limbs 0..h-1 and words h+1..2h the denominator's, least significant first; for an odd L word
// L holds limb h of the numerator in its low and of the denominator in its high 32 bits. Each part so has 32*L
// bits; M = 2^(32L) - 1 is the largest part. Every rational made here has a denominator >= 1 coprime to the
// numerator, and zero is 0/1 with either sign.
//
// Every operation is tried exactly first. The exact operations work on unpacked parts (BigInts of the width
// int_limbs) and report whether an exact result exists; the application rules fall back to the real operation when
// it does not. Public entry points set int_limbs to (L + 1)/2 (to L for addition, subtraction and comparison, so
// that cross products fit) and restore it, and restore the scratch top, on every path.
#pragma once

#include <cstdint>

#include "integer/bigint.h"
#include "numeric/num_context.h"

// A value of the rational type: a marked rational or, when no exact form is kept, a RealNum.
using Rational = RealNum;

inline constexpr uint64_t kRationalMark = uint64_t{1} << 63;

inline bool rational_is_exact(const Rational* x) {
    return (x[0] & ~uint64_t{1}) == kRationalMark;
}

// Sign and magnitudes of a fraction; num and den point to BigInts of the width int_limbs.
struct RationalParts {
    bool negative;
    BigInt* num;
    BigInt* den;
};

// The BigInt width for rationals of the current L: (L + 1)/2, or L when wide.
int32_t rational_width(bool wide);

// Sets int_limbs to `width` and restores it on destruction. A width outside 1..2000 raises error 1 and keeps the
// previous width (ok is then false).
struct RationalWidth {
    int32_t saved;
    bool ok;
    explicit RationalWidth(int32_t width);
    ~RationalWidth() { num_ctx.int_limbs = saved; }
    RationalWidth(const RationalWidth&) = delete;
    RationalWidth& operator=(const RationalWidth&) = delete;
};

// Two BigInts of the current width from the scratch stack (caller's frame), set to +0/1.
RationalParts rational_parts_take();

// ---- Storage ---------------------------------------------------------------------------------------------------
// Parts of x at the current width. A part wider than the width raises 12, a value that is not a rational raises
// 17; both give +0/1.
void rational_unpack(RationalParts* parts, const Rational* x);
// Stores the parts as a rational; false, with x unchanged, when a part needs more than 32*L bits.
bool rational_pack(Rational* x, const RationalParts* parts);
// Packs the parts, or stores their correctly rounded real quotient when they do not fit.
void rational_store(Rational* x, const RationalParts* parts);
// num/den reduced by the word gcd (den >= 1; below 1 raises 14 and gives real +0); a fraction that does not fit
// (only at L = 1) becomes the real quotient.
void rational_from_words(Rational* dst, int64_t num, int64_t den);
// The quotient of the parts as a real: computed with one extra limb, rounded half up to L limbs, signed.
void rational_parts_to_real(RealNum* dst, const RationalParts* parts);
// src as a real; a real src is copied.
void rational_to_real(RealNum* dst, const Rational* src);
// Brings src, stored at old_limbs, to the current L: reals by real_resize; a rational keeps its exact form unless
// it shrinks below the size of its parts, in which case it becomes the real at old_limbs, then narrowed.
void rational_resize(Rational* dst, const Rational* src, int old_limbs);
// Special value: codes 0, 12 and 13 give 0/1, 1/M and M/1; every other code the real value of real_set_special.
void rational_constant(Rational* dst, int code);

// ---- Queries ---------------------------------------------------------------------------------------------------
// -1, 0, 1 for any mix of rational and real operands; both signs of zero are equal.
int rational_compare(const Rational* a, const Rational* b);
int rational_compare_word(const Rational* a, int64_t w);
bool rational_is_zero(const Rational* a);
// dst = -a (bit 0 of the header flipped; reals as well).
void rational_negate(Rational* dst, const Rational* a);
// |a| as a word: the numerator when the denominator is 1, or with truncate the integer part of the quotient; false
// (and 0) when that fails or does not fit one word. A real a is converted quietly by magnitude. No error is raised.
bool rational_to_word(uint64_t* out, const Rational* a, bool truncate);

// ---- Exact operations ------------------------------------------------------------------------------------------
// Each returns true when the exact result exists and fits the width; an overflow inside only makes it false. The
// error code is saved, cleared and restored, so no error escapes. r may be the same record as an operand. Word
// operands that are exponents (pow_int, pow10) are read as signed 64-bit integers. A zero result keeps a sign: a's
// for sums and differences, the product of the signs for products and quotients.
bool rational_add(RationalParts* r, const RationalParts* a, const RationalParts* b);
bool rational_sub(RationalParts* r, const RationalParts* a, const RationalParts* b);
bool rational_mul(RationalParts* r, const RationalParts* a, const RationalParts* b);
bool rational_mul_word(RationalParts* r, const RationalParts* a, uint64_t w);
bool rational_div(RationalParts* r, const RationalParts* a, const RationalParts* b);
bool rational_div_word(RationalParts* r, const RationalParts* a, uint64_t w);
bool rational_reciprocal(RationalParts* r, const RationalParts* a);
bool rational_sqrt(RationalParts* r, const RationalParts* a);
bool rational_cbrt(RationalParts* r, const RationalParts* a);
// a^e for a rational exponent e.
bool rational_pow(RationalParts* r, const RationalParts* a, const RationalParts* e);
// a^k for the signed word k.
bool rational_pow_int(RationalParts* r, const RationalParts* a, uint64_t k);
// a^(1/e): the root of degree e.
bool rational_root(RationalParts* r, const RationalParts* a, const RationalParts* e);
bool rational_exp2(RationalParts* r, const RationalParts* a);   // 2^a for an integer a
bool rational_exp10(RationalParts* r, const RationalParts* a);  // 10^a for an integer a
bool rational_pow10(RationalParts* r, int64_t k);               // 10^k
bool rational_log2(RationalParts* r, const RationalParts* a);
bool rational_log10(RationalParts* r, const RationalParts* a);
bool rational_factorial(RationalParts* r, const RationalParts* a);
bool rational_trunc(RationalParts* r, const RationalParts* a);  // integer part toward zero, sign kept
bool rational_frac(RationalParts* r, const RationalParts* a);   // |a| minus its integer part, never negative

using RationalUnaryOp = bool (*)(RationalParts* r, const RationalParts* a);
using RationalWordOp = bool (*)(RationalParts* r, const RationalParts* a, uint64_t w);
using RationalBinaryOp = bool (*)(RationalParts* r, const RationalParts* a, const RationalParts* b);
using RealUnaryOp = void (*)(RealNum* dst, const RealNum* a);
using RealWordOp = void (*)(RealNum* dst, const RealNum* a, uint64_t w);
using RealBinaryOp = void (*)(RealNum* dst, const RealNum* a, const RealNum* b);
using RealIntOp = void (*)(RealNum* dst, const RealNum* a, int64_t n);

// ---- Application rules -----------------------------------------------------------------------------------------
// When the operands are rational and a rational operation is given (it may be null), it is tried and its result
// stored by rational_store; otherwise, or when it has no exact result, the rational operands are converted to real
// and real_op computes the result. result may be an operand.
void rational_apply_unary(Rational* result, const Rational* a, RealUnaryOp real_op, RationalUnaryOp rational_op);
void rational_apply_with_word(Rational* result, const Rational* a, uint64_t w, RealWordOp real_op,
                              RationalWordOp rational_op);
// wide: width L instead of (L + 1)/2 (addition and subtraction). The rational operation is tried only when both
// operands are rational.
void rational_apply_binary(Rational* result, const Rational* a, const Rational* b, RealBinaryOp real_op,
                           RationalBinaryOp rational_op, bool wide);
// a converted to real, then real_op(result, a, n).
void rational_apply_real_int(Rational* result, const Rational* a, int64_t n, RealIntOp real_op);
// The rational 10^k, else the real 10^k.
void rational_power_of_ten(Rational* result, int64_t k);

// ---- Text ------------------------------------------------------------------------------------------------------
// Reads a number literal of the rational type: [sign] digits [/ digits], with digit groups. A decimal point or
// exponent before the "/" hands the whole text to the real reader; an integer too long for the rational width is
// read as a real. Failure (21, 14 for a zero denominator or a fraction that does not fit) gives real +0; an error
// pending on entry wins.
void rational_from_text(Rational* dst, const char16_t* text, int length);
// Writes a rational as [sign]numerator[/denominator] (flags: 1 << 27 groups digits, 1 << 25 signs every value)
// and a real with real_format at 19*L digits; returns the number of characters. A pending error puts "!" in
// front; a text that does not fit becomes "[!]" with error 20.
int rational_to_text(char16_t* buffer, int capacity, const Rational* value, uint32_t flags);
