// Unsigned binary integers of the process-wide width W = num_ctx.int_limbs: W 64-bit words, least significant
// first, value range 0 .. 2^(64*W) - 1. Every operand and result of one call has W words; results may be the same
// array as an operand. Failures are reported through raise_error (first error wins) and leave a defined result:
// "zero" below means the result is cleared to 0.
//
// Operations marked isolated save error_code on entry, clear it, compute, and restore the saved code when it was
// non-zero; otherwise their own code (if any) stays. So they see their own failures while an older error wins.
//
// Temporaries come from the scratch stack; each operation that takes them states its largest need in words. The
// largest of all is bigint_powmod's 6W + 2048 words (14048 of the region's 20000 words at W = 2000).
#pragma once

#include <cstdint>

using BigInt = uint64_t;

// ---- Small helpers --------------------------------------------------------------------------------------------
void bigint_zero(BigInt* r);
void bigint_copy(BigInt* r, const BigInt* a);
void bigint_set_word(BigInt* r, uint64_t w);
bool bigint_is_zero(const BigInt* a);

// ---- Comparison and bits --------------------------------------------------------------------------------------
int bigint_compare(const BigInt* a, const BigInt* b);  // -1, 0 or 1
int bigint_compare_word(const BigInt* a, uint64_t w);  // -1, 0 or 1
bool bigint_is_one(const BigInt* a);
uint64_t bigint_bit_length(const BigInt* a);             // 0 for 0
void bigint_set_bit(BigInt* a, uint64_t p, bool value);  // p / 64 >= W: error 14, a unchanged
int bigint_test_bit(const BigInt* a, uint64_t p);        // p / 64 >= W: error 14, 0

// Value as signed word when it is below 2^63, as unsigned word when every word above the lowest is 0. Otherwise
// *out = 0, false, and error 14 unless quiet.
bool bigint_to_int64(int64_t* out, const BigInt* a, bool quiet);
bool bigint_to_uint64(uint64_t* out, const BigInt* a, bool quiet);

// ---- Addition and subtraction ---------------------------------------------------------------------------------
void bigint_add(BigInt* r, const BigInt* a, const BigInt* b);  // carry out: error 12, zero
void bigint_add_word(BigInt* r, const BigInt* a, uint64_t w);  // carry out: error 12, zero
void bigint_sub(BigInt* r, const BigInt* a, const BigInt* b);  // a < b: error 12, zero
void bigint_decrement(BigInt* r, const BigInt* a);             // a = 0: error 12, zero

// ---- Multiplication -------------------------------------------------------------------------------------------
void bigint_mul(BigInt* r, const BigInt* a, const BigInt* b);  // product >= 2^(64W): error 12, zero. 2W words
void bigint_mul_word(BigInt* r, const BigInt* a, uint64_t w);  // carry out: error 12, zero

// ---- Division -------------------------------------------------------------------------------------------------
// q = a / b and m = a mod b; either output may be null. b = 0: error 13, q = 0, m = 0. 3W + 1 words.
void bigint_divmod(BigInt* q, BigInt* m, const BigInt* a, const BigInt* b);
// q = a / b; true when the remainder is 0 (also for b = 0, which raises 13 and gives q = 0). 4W + 1 words.
bool bigint_div_exact(BigInt* q, const BigInt* a, const BigInt* b);
void bigint_mod(BigInt* m, const BigInt* a, const BigInt* b);
// q = a / w (q may be null) and the remainder word. w = 0: error 13, q = 0, remainder 0.
uint64_t bigint_divmod_word(BigInt* q, const BigInt* a, uint64_t w);

// ---- Roots ----------------------------------------------------------------------------------------------------
// r = floor(sqrt(a)); true when a is a perfect square. Isolated; never fails. 5W + 15 words.
bool bigint_isqrt(BigInt* r, const BigInt* a);
// r = floor(a^(1/k)); true when exact. Isolated; k = 1 copies a; k <= 0: error 14, zero, false. 5W + 15 words.
bool bigint_root_word(BigInt* r, const BigInt* a, int64_t k);
// As bigint_root_word; k >= 2^63 gives 1 for a >= 1 and 0 for a = 0, exact only for a <= 1.
bool bigint_root(BigInt* r, const BigInt* a, const BigInt* k);

// ---- Powers ---------------------------------------------------------------------------------------------------
// r = a^n. Isolated; n = 0 gives 1 (also for a = 0); n < 0: error 14, zero; overflow: error 12, zero. 3W words.
void bigint_pow_word(BigInt* r, const BigInt* a, int64_t n);
// r = a^e; e >= 2^63 gives 0 for a = 0, 1 for a = 1, and error 12 with zero otherwise.
void bigint_pow(BigInt* r, const BigInt* a, const BigInt* e);
// r = 2^e; e >= 64W: error 12, zero.
void bigint_pow2(BigInt* r, const BigInt* e);
// r = 10^e. Isolated; overflow: error 12, zero. 3W words.
void bigint_pow10(BigInt* r, const BigInt* e);
// r = n!. Isolated; n >= 2^64 or overflow: error 12, zero.
void bigint_factorial(BigInt* r, const BigInt* n);

// ---- Logarithms -----------------------------------------------------------------------------------------------
// r = floor(log_b x); true when x is an exact power of b. x = 0 or b < 2: error 12, zero, false. 3W + 2 words,
// bigint_log10 4W + 2.
bool bigint_log(BigInt* r, const BigInt* x, const BigInt* b);
// r = bit length - 1; true when x is a power of two. x = 0: error 12, zero, false.
bool bigint_log2(BigInt* r, const BigInt* x);
bool bigint_log10(BigInt* r, const BigInt* x);

// ---- Number theory --------------------------------------------------------------------------------------------
// r = gcd(a, b); a = 0 or b = 0: error 12, zero. 2W + 2 words.
void bigint_gcd(BigInt* r, const BigInt* a, const BigInt* b);
// r = a^e mod m, as the left-to-right square-and-multiply at width W without reducing a first: whenever one of its
// products t*t or t*a would reach 2^(64W), error 12 and zero. m = 0: error 13, zero; e = 0 gives 1 mod m.
// At most 6W + 2048 words.
void bigint_powmod(BigInt* r, const BigInt* a, const BigInt* e, const BigInt* m);
// r = a^-1 mod m in 1 .. m - 1. a >= 1 and m < 2: error 14, zero; a = 1 gives 1; a = 0: error 13, zero;
// gcd(a, m) != 1: error 12, zero. 6W + 13 words.
void bigint_modinv(BigInt* r, const BigInt* a, const BigInt* m);
