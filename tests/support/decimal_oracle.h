// Exact decimal oracle for RealNum results: a value m * 10^e with GMP integers, rounded half up like the typed layer;
// and the context and operand helpers the complex, typed-value and rational tests share.
#pragma once

#include <gmpxx.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_arith.h"

using Rng = std::mt19937_64;
using Words = std::vector<uint64_t>;

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

inline Dec dec_add(const Dec& a, const Dec& b, int sign = 1) {
    const int64_t e = std::min(a.e, b.e);
    return Dec{a.m * pow10(a.e - e) + sign * b.m * pow10(b.e - e), e};
}

inline Dec dec_mul(const Dec& a, const Dec& b) {
    return Dec{a.m * b.m, a.e + b.e};
}

// a / b rounded half up to the working precision; 2 * 19 L + 40 extra digits settle the first dropped digit.
inline Dec RD(const Dec& a, const Dec& b) {
    const int64_t extra = 38 * static_cast<int64_t>(num_ctx.real_limbs) + 40;
    Dec q{0, a.e - b.e - extra};
    const mpz_class num = a.m * pow10(extra);
    mpz_tdiv_q(q.m.get_mpz_t(), num.get_mpz_t(), b.m.get_mpz_t());
    return R(q);
}

inline bool same(const Dec& a, const Dec& b) {
    return dec_add(a, b, -1).m == 0;
}

inline std::string str(const Dec& a) {
    return a.m.get_str() + "e" + std::to_string(a.e);
}

// Decimal text [-]digits[.digits][e[-]digits], truncated to the working precision.
inline void real_from_decimal(RealNum* dst, const std::string& s) {
    size_t i = s[0] == '-' ? 1 : 0;
    std::string digits;
    int64_t point = -1, e = 0;
    for (; i < s.size() && s[i] != 'e'; ++i) {
        if (s[i] == '.') point = static_cast<int64_t>(digits.size());
        if (s[i] != '.') digits += s[i];
    }
    if (i < s.size()) e = std::stoll(s.substr(i + 1));
    if (point < 0) point = static_cast<int64_t>(digits.size());
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return real_set_signed_zero(dst, s[0] == '-');
    digits = digits.substr(first);
    digits.resize(static_cast<size_t>(19 * num_ctx.real_limbs), '0');
    for (int k = 0; k < num_ctx.real_limbs; ++k) dst[1 + k] = std::stoull(digits.substr(19 * size_t(k), 19));
    real_set_exponent(dst, point - static_cast<int64_t>(first) - 1 + e, s[0] == '-');
}

// A random normalised real with a decimal exponent in emin..emax; a quarter of them have short mantissas, as typed
// numbers do.
inline void random_real(Rng& rng, RealNum* dst, int64_t emin, int64_t emax, bool negative_allowed = true) {
    dst[1] = kLimbBase / 10 + rng() % (kLimbBase - kLimbBase / 10);
    for (int i = 1; i < num_ctx.real_limbs; ++i) dst[1 + i] = rng() % kLimbBase;
    if (rng() % 4 == 0) {
        dst[1] -= dst[1] % 100000000000000ull;
        for (int i = 1; i < num_ctx.real_limbs; ++i) dst[1 + i] = 0;
    }
    const bool negative = negative_allowed && (rng() & 1) != 0;
    real_set_exponent(dst, emin + static_cast<int64_t>(rng() % uint64_t(emax - emin + 1)), negative);
}

// Number type, precision and integer width for one test; clears the guard, the no-rounding switch and the error.
struct Scope {
    Scope(uint32_t type, int limbs, int int_limbs = 2) {
        static const bool initialised = (init_numeric_context(), true);  // computes the constants: once
        (void)initialised;
        num_ctx.number_type = type;
        num_ctx.real_limbs = limbs;
        num_ctx.int_limbs = int_limbs;
        num_ctx.guard_limbs = num_ctx.guard_digit_reduction = 0;
        num_ctx.no_rounding = 0;
        num_ctx.error_code = 0;
    }
    ~Scope() { num_ctx.real_limbs = num_ctx.int_limbs = 1, num_ctx.number_type = 0; }
};

// The context fields every operation must give back as it found them.
struct Snapshot {
    uint8_t* top = num_ctx.scratch_top;
    int limbs = num_ctx.real_limbs, int_limbs = num_ctx.int_limbs;
    uint32_t guard = num_ctx.guard_limbs, reduction = num_ctx.guard_digit_reduction;
    bool same() const {
        return top == num_ctx.scratch_top && limbs == num_ctx.real_limbs && int_limbs == num_ctx.int_limbs &&
               guard == num_ctx.guard_limbs && reduction == num_ctx.guard_digit_reduction;
    }
};
