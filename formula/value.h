// Value: a block of words interpreted by num_ctx.number_type at the moment of each call. real: one RealNum
// (L + 1 words); rat: a Rational or, when no exact form is kept, a RealNum (L + 1 words); cplx: one ComplexNum
// (2 (L + 1) words); uint: one BigInt of int_limbs words. The type is not stored in the value.
//
// Every operation dispatches on number_type; an unsupported type, or an operation the type does not define, raises
// error 3 and leaves the destination unchanged. Real divisions, powers, roots and functions run at guard precision
// and are rounded back half up; additions, subtractions and word operations are rounded half up on the guard limb
// of the real operation. The destination comes first and may be an operand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formula/complex_num.h"
#include "numeric/num_context.h"
#include "numeric/real_special.h"

using Value = uint64_t;

// Unary function codes of value_unary (the formula function codes).
enum ValueFunction : int {
    kFuncSqrt = 200,
    kFuncCbrt = 201,
    kFuncLn = 202,
    kFuncLog2 = 203,
    kFuncLog10 = 204,
    kFuncExp = 205,
    kFuncAbs = 206,
    kFuncSin = 207,
    kFuncCos = 208,
    kFuncTan = 209,
    kFuncAsin = 210,
    kFuncAcos = 211,
    kFuncAtan = 212,
    kFuncSinh = 224,
    kFuncCosh = 225,
    kFuncTanh = 226,
    kFuncAsinh = 227,
    kFuncAcosh = 228,
    kFuncAtanh = 229,
    kFuncFactorial = 230,
};

// Words of one value of the current type and precision; 0 for an unsupported type.
size_t value_words();

void value_copy(Value* dst, const Value* src);
// uint: a negative integer raises 14 and gives 0.
void value_set_int(Value* dst, int64_t n);
// SpecialValueCode codes (kSpecialImaginaryUnit only for cplx); uint raises 3. An unknown code raises 14 and gives +0
// (cplx: 0 + 0i).
void value_set_special(Value* dst, int code);

void value_abs(Value* dst, const Value* a);  // cplx: the modulus, imaginary 0
void value_negate(Value* dst, const Value* a);

void value_add(Value* dst, const Value* a, const Value* b);
void value_sub(Value* dst, const Value* a, const Value* b);
void value_mul(Value* dst, const Value* a, const Value* b);
void value_mul_word(Value* dst, const Value* a, uint64_t w);
void value_div(Value* dst, const Value* a, const Value* b);
void value_div_word(Value* dst, const Value* a, uint64_t w);
void value_pow(Value* dst, const Value* a, const Value* b);   // a^b
void value_pow_int(Value* dst, const Value* a, int64_t n);    // a^n
void value_root(Value* dst, const Value* a, const Value* b);  // a^(1/b)

// One of the ValueFunction codes, in radians. cplx: applied to the real part when the imaginary part is zero; a
// nonzero imaginary part, or a real part outside the function's real domain (sqrt(-4)), raises 16 and gives 0 + 0i.
// An unknown code raises 14 and gives 0.
void value_unary(Value* dst, const Value* a, int code);

// Rounds to n significant digits (rat: an exact fraction is kept, a real form is rounded like a real).
// n < 0 raises 14 and gives 0.
void value_round_digits(Value* dst, const Value* a, int64_t n);

// Decimal exponent E (cplx: of the real part); a zero or an exact fraction raises 14 and gives 0.
int64_t value_exponent(const Value* a);
// -1, 0, 1 for a below, equal to, above w; cplx: 1 when the imaginary part is nonzero.
int value_compare_int(const Value* a, int64_t w);
// True for real and cplx, for rat only in real form; uint raises 3 and gives false.
bool value_is_decimal(const Value* a);

// The integer magnitude and sign of a when a is an integer whose magnitude fits one unsigned word exactly (cplx only
// with a zero imaginary part; rat as fraction or real form). Never raises an error; false for uint.
bool value_integer_word(const Value* a, uint64_t* magnitude, bool* negative);

// Writes a without terminator and returns the length: real_format with 19 L default digits, rational_to_text,
// complex_format, or bigint_to_text in base 10 (grouping flag 0x8000000 honoured).
int value_format(char16_t* buffer, int capacity, const Value* a, uint32_t format_flags);
// As value_format into the next text_ring buffer, terminated; the buffer stays valid for four further calls.
char16_t* value_to_ring(const Value* a, uint32_t format_flags);
