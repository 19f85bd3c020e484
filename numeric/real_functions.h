// Elementary functions on RealNum at the current precision: the exponential family, logarithms, general powers and
// roots, circular and hyperbolic functions with their inverses, and the factorial. Each reduces its argument with
// the cached constants and sums a Taylor series at full working precision until the terms no longer reach the last
// digit (L*19 - guard_digit_reduction digits). Angles are in radians. dst may be the same record as an operand.
// Failures raise their error code (first error wins) and give +0.
#pragma once

#include <cstdint>

#include "numeric/num_context.h"

// ---- Exponential family and logarithms -------------------------------------------------------------------------
void real_exp(RealNum* dst, const RealNum* x);    // e^x; overflow raises 10, underflow gives +0
void real_exp2(RealNum* dst, const RealNum* x);   // 2^x
void real_exp10(RealNum* dst, const RealNum* x);  // 10^x, exact for an integer x
void real_ln(RealNum* dst, const RealNum* x);     // x <= 0 raises 14
void real_log2(RealNum* dst, const RealNum* x);
void real_log10(RealNum* dst, const RealNum* x);
void real_log1p(RealNum* dst, const RealNum* x);  // ln(1 + x); x <= -1 raises 14

// ---- Powers and roots ------------------------------------------------------------------------------------------
// x^y; 0^0 = 1. Raises 14 for x = 0 with y < 0 and for x < 0 with a non-integer y.
void real_pow(RealNum* dst, const RealNum* x, const RealNum* y);
// x^(1/y). Raises 14 for y = 0, x = 0 with y < 0, and x < 0 unless y is an odd integer.
void real_root(RealNum* dst, const RealNum* x, const RealNum* y);
// x^(1/n). Raises 14 for n = 0, x = 0 with n < 0, and x < 0 with an even n.
void real_root_int(RealNum* dst, const RealNum* x, int64_t n);

// ---- Circular functions and their inverses ---------------------------------------------------------------------
// The circular functions raise 14 when |x|*4/pi reaches 2^64.
void real_sin(RealNum* dst, const RealNum* x);
void real_cos(RealNum* dst, const RealNum* x);
void real_tan(RealNum* dst, const RealNum* x);
void real_asin(RealNum* dst, const RealNum* x);  // |x| > 1 raises 14
void real_acos(RealNum* dst, const RealNum* x);  // |x| > 1 raises 14
void real_atan(RealNum* dst, const RealNum* x);
// Angle of the point (x, y) in (-pi, pi]; +0 for the origin.
void real_atan2(RealNum* dst, const RealNum* y, const RealNum* x);

// ---- Hyperbolic functions and their inverses -------------------------------------------------------------------
void real_sinh(RealNum* dst, const RealNum* x);
void real_cosh(RealNum* dst, const RealNum* x);
void real_tanh(RealNum* dst, const RealNum* x);
void real_asinh(RealNum* dst, const RealNum* x);
void real_acosh(RealNum* dst, const RealNum* x);  // x < 1 raises 14
void real_atanh(RealNum* dst, const RealNum* x);  // |x| >= 1 raises 14

// ---- Factorial -------------------------------------------------------------------------------------------------
// x! for an integer 0 <= x < 2^63 (else error 14). Below the threshold of the working limb count it is a product of
// words; from there on Stirling's series with tangent numbers from the table in factorial_cache.
void real_factorial(RealNum* dst, const RealNum* x);

// Smallest n whose factorial uses Stirling's series at `limbs` limbs.
int64_t real_factorial_threshold(int limbs);

// The tangent number T(2k-1) (1, 2, 16, 272, ... for k = 1, 2, 3, 4) at the current precision, built in the
// factorial_cache table exactly as the factorial builds it. A table beyond 3000 entries raises 34 and gives +0.
void real_tangent_number(RealNum* dst, int64_t k);
