// ComplexNum: two RealNums of real_limbs + 1 words each, real part then imaginary part, contiguous. Complex
// arithmetic at the current precision: each real step is rounded half up on the guard limb its real operation
// returns, divisions run at guard precision (two extra digits) and are rounded back. dst may be an operand.
#pragma once

#include <cstdint>

#include "integer/rational.h"  // RealUnaryOp, RealBinaryOp
#include "numeric/num_context.h"
#include "numeric/real_text.h"

using ComplexNum = uint64_t;

// ---- Real operations shared by the complex and typed layers ----------------------------------------------------
// Rounds x half up on `guard`, the guard limb returned by its real operation (nothing with no_rounding or x = 0).
void real_round_on_guard(RealNum* x, uint64_t guard);

// Runs op at guard precision with k extra digits (1 .. 19): operands widened to L + 1 limbs, the result narrowed
// with half-up rounding. When a guard is already active (begin_guard refuses), op runs at the current precision.
void real_guarded_unary(RealNum* dst, const RealNum* x, RealUnaryOp op, int k);
void real_guarded_binary(RealNum* dst, const RealNum* a, const RealNum* b, RealBinaryOp op, int k);
void real_guarded_pow_int(RealNum* dst, const RealNum* x, int64_t n);  // real_pow_int with k = 2

// Integer part toward zero: E < 0 gives a zero with the sign kept, else the digits below the units are cleared.
void real_trunc(RealNum* dst, const RealNum* x);
// Rounds to s significant digits, half up on the dropped digits of the limb holding the last kept digit (limbs after
// it do not count); s >= 19 L copies; s < 0 raises 14 and gives +0; s = 0 keeps only a carry from the first digit.
void real_round_digits(RealNum* dst, const RealNum* x, int64_t s);
// Rounds to n >= 0 digits after the point (E + n + 1 significant digits); E + n < -1 gives a zero with the sign
// kept; n < 0 raises 14 and gives +0.
void real_round_decimals(RealNum* dst, const RealNum* x, int64_t n);
// num / den rounded half up on the guard limb of the quotient; den < 1 raises 14 and gives +0.
void real_from_ratio(RealNum* dst, int64_t num, int64_t den);

// ---- ComplexNum ------------------------------------------------------------------------------------------------

inline RealNum* complex_real(ComplexNum* z) {
    return z;
}
inline const RealNum* complex_real(const ComplexNum* z) {
    return z;
}
// complex_imag (the part at offset L + 1) is declared with the complex text functions.

// Words of one ComplexNum at the current precision: 2 * (L + 1).
inline int complex_words() {
    return 2 * (num_ctx.real_limbs + 1);
}

// Takes a ComplexNum temporary from the scratch stack.
inline ComplexNum* scratch_complex() {
    return scratch_take(static_cast<size_t>(complex_words()));
}

void complex_copy(ComplexNum* dst, const ComplexNum* z);
void complex_set_zero(ComplexNum* z);                       // 0 + 0i
void complex_set_real(ComplexNum* dst, const RealNum* re);  // re + 0i
bool complex_is_real(const ComplexNum* z);                  // imaginary part zero
void complex_negate(ComplexNum* dst, const ComplexNum* z);  // both signs flipped

void complex_add(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b);
void complex_sub(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b);
void complex_mul(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b);
// b = 0 raises the division-by-zero error of the real division and gives 0.
void complex_div(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b);
void complex_reciprocal(ComplexNum* dst, const ComplexNum* a);
void complex_mul_word(ComplexNum* dst, const ComplexNum* a, uint64_t w);
// A zero imaginary part stays zero; w = 0 raises 13.
void complex_div_word(ComplexNum* dst, const ComplexNum* a, uint64_t w);

// z^n by binary exponentiation of complex products; the real power (guarded) when im = 0 or n = 0.
void complex_pow_int(ComplexNum* dst, const ComplexNum* z, int64_t n);
// |z| = hypot(re, im) at guard precision, rounded back. dst is a RealNum.
void complex_modulus(RealNum* dst, const ComplexNum* z);
// x^y: y must be real (else error 16 and 0); a real x uses the real power, otherwise y must be an integer that fits a
// signed word (else error 14 and 0) and the integer power is used.
void complex_pow(ComplexNum* dst, const ComplexNum* x, const ComplexNum* y);

// The k-th of the |n| complex n-th roots of z: |z|^(1/n) * (cos phi +- i sin phi), phi = (Arg z + 2 pi k) / |n|, the
// minus sign for n < 0. n = 0, |n| > 2^61, k outside 0 .. |n| - 1, or z = 0 with n < 0 raise 14 and give 0.
void complex_root_branch(ComplexNum* dst, const ComplexNum* z, int64_t n, int64_t k);

// Integer part of each component, toward zero.
void complex_trunc(ComplexNum* dst, const ComplexNum* z);
// z, built with n limbs per part, is brought to the current L in place: rounding half up on limb L when narrowing,
// zero-filling when widening; the imaginary part moves to offset L + 1. n must be 1 .. 528.
void complex_resize(ComplexNum* z, int n);
// Each part rounded to n significant digits; n < 0 raises 14 and zeroes the parts.
void complex_round_digits(ComplexNum* dst, const ComplexNum* z, int64_t n);
