// RealNum: decimal floating point of real_limbs (L) limbs in base 10^19 and its basic operations.
// Value = (-1)^sign * (limb0 + limb1*10^-19 + ...) / 10^18 * 10^E; a nonzero number has 10^18 <= limb0 < 10^19.
// Results are truncated; operations read L from num_ctx when called, take temporaries from the scratch stack and
// report failures through raise_error with a defined result (as a rule +0).
#pragma once

#include <cstdint>

#include "numeric/num_context.h"

inline constexpr int64_t kMaxExponent = (int64_t{1} << 62) - 1;  // 4611686018427387903

// ---- Header ----------------------------------------------------------------------------------------------------
inline int64_t real_exponent(const RealNum* x) { return static_cast<int64_t>(x[0]) >> 1; }
inline bool real_is_negative(const RealNum* x) { return (x[0] & 1) != 0; }
inline bool real_is_zero(const RealNum* x) { return x[1] == 0; }
inline uint64_t* real_limbs_of(RealNum* x) { return x + 1; }
inline const uint64_t* real_limbs_of(const RealNum* x) { return x + 1; }
inline void real_negate(RealNum* x) { x[0] ^= 1; }

// Stores exponent e and sign into the header under the exponent rules: above 2^62 - 1 raises error 10 and makes
// x +0; below -(2^62 - 1) makes x a zero with the sign kept (or raises 11 and gives +0 with underflow_is_error).
void real_set_exponent(RealNum* x, int64_t e, bool negative);

// Adds delta to the exponent of x, detecting a signed wrap of the sum first, then applies real_set_exponent.
// A zero x is left unchanged.
void real_add_exponent(RealNum* x, int64_t delta);

// x = +0 (all L limbs zero).
void real_set_zero(RealNum* x);
// x = a zero with the given sign.
void real_set_signed_zero(RealNum* x, bool negative);

void real_copy(RealNum* dst, const RealNum* src);  // L + 1 words

// ---- Shifts and normalisation on limbs[0..n-1] followed by a guard limb -----------------------------------------
void limbs_shift_right_digits(uint64_t* limbs, int n, uint64_t* guard, int64_t k);
void limbs_shift_left_digits(uint64_t* limbs, int n, uint64_t* guard, int64_t k);
// Returns the shift s applied (s > 0: shifted left, -1: shifted right by one digit); 0 for an all-zero result,
// which the caller recognises by limbs[0] == 0.
int limbs_normalize(uint64_t* limbs, int n, uint64_t* guard);

// ---- Construction and conversion -------------------------------------------------------------------------------
void real_set_one(RealNum* dst);
uint64_t real_from_u64(RealNum* dst, uint64_t word);  // returns the guard (a digit lost at L = 1)
uint64_t real_from_i64(RealNum* dst, int64_t word);

enum RealToIntFlags : uint32_t {
    kToIntQuiet = 1,            // no error 14 on failure
    kToIntTruncate = 2,         // a fractional part is dropped instead of failing
    kToIntNegativeMagnitude = 4 // real_to_u64 only: a negative number yields its magnitude
};
bool real_to_i64(int64_t* out, const RealNum* x, uint32_t flags);
bool real_to_u64(uint64_t* out, const RealNum* x, uint32_t flags);

// The integer of w 64-bit words (least significant first) as a real truncated to L limbs.
void real_from_bigint(RealNum* dst, int w, const uint64_t* words);

// Copies src, built with n limbs, into the current precision: rounds half up on src limb L when n > L (truncates
// with no_rounding), zero-fills the missing limbs when n < L.
void real_resize(RealNum* dst, const RealNum* src, int n);

// ---- Comparison and tests --------------------------------------------------------------------------------------
int real_compare(const RealNum* a, const RealNum* b);
int real_compare_i64(const RealNum* a, int64_t word);
// Comparison with (m / 10^8) * 10^e, where 10^8 <= |m| < 10^9; another m raises error 14 and gives 0.
int real_compare_scaled(const RealNum* a, int32_t m, int64_t e);
// |a| >= (m / 10^8) * 10^e judged on exponent and first limb only; m must be >= 10^8 (else error 14, false).
bool real_abs_at_least(const RealNum* a, int32_t m, int64_t e);
bool real_is_integer(const RealNum* a);
bool real_is_even(const RealNum* a);
void real_frac(RealNum* dst, const RealNum* a);

// ---- Arithmetic (dst may be an operand) ------------------------------------------------------------------------
uint64_t real_add_sub(RealNum* dst, const RealNum* a, const RealNum* b, int subtract);
uint64_t real_mul(RealNum* dst, const RealNum* a, const RealNum* b);
uint64_t real_mul_word(RealNum* dst, const RealNum* a, uint64_t w);
uint64_t real_div(RealNum* dst, const RealNum* a, const RealNum* b);
uint64_t real_div_word(RealNum* dst, const RealNum* a, uint64_t w);
void real_reciprocal(RealNum* dst, const RealNum* a);
void real_sqrt(RealNum* dst, const RealNum* a);
void real_cbrt(RealNum* dst, const RealNum* a);
void real_pow_int(RealNum* dst, const RealNum* a, int64_t n);
void real_hypot(RealNum* dst, const RealNum* a, const RealNum* b);
