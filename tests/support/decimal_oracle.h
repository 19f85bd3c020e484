// Exact decimal oracle for RealNum results: a value m * 10^e with GMP integers, rounded half up like the typed layer.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <string>

#include "numeric/real_arith.h"

struct Dec {
    mpz_class m;
    int64_t e = 0;
};

inline mpz_class pow10(int64_t k) {
    mpz_class r;
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(k));
    return r;
}

// The exact value of x at the current precision.
inline Dec dec(const RealNum* x) {
    Dec d;
    if (real_is_zero(x)) return d;
    for (int i = 0; i < num_ctx.real_limbs; ++i) d.m = d.m * pow10(19) + mpz_class(std::to_string(x[1 + i]));
    if (real_is_negative(x)) d.m = -d.m;
    d.e = real_exponent(x) - 18 - 19 * static_cast<int64_t>(num_ctx.real_limbs - 1);
    return d;
}

// a rounded half up (away from zero on the magnitude) to `digits` significant digits.
inline Dec round_to(const Dec& a, int64_t digits) {
    mpz_class mag = abs(a.m), q, r;
    int64_t drop = static_cast<int64_t>(mpz_sizeinbase(mag.get_mpz_t(), 10));
    if (a.m != 0 && mag < pow10(drop - 1)) --drop;
    drop -= digits;
    if (a.m == 0 || drop <= 0) return a;
    const mpz_class unit = pow10(drop);
    mpz_tdiv_qr(q.get_mpz_t(), r.get_mpz_t(), mag.get_mpz_t(), unit.get_mpz_t());
    if (2 * r >= unit) q += 1;
    return Dec{a.m < 0 ? mpz_class(-q) : q, a.e + drop};
}

// a rounded to the working precision of 19 L digits.
inline Dec R(const Dec& a) {
    return round_to(a, 19 * static_cast<int64_t>(num_ctx.real_limbs));
}
