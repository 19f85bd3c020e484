// Typed values: the dispatch of every operation by number type as one table, and the real type against its oracles
// (exact rounded decimals and MPFR); the rational and unsigned operations behind it have their own GMP tests.
#include "formula/value.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "support/decimal_oracle.h"

namespace {

// Room for a value of any type at the current precision.
Words buffer() {
    return Words(std::max<size_t>(2 * (size_t(num_ctx.real_limbs) + 1), size_t(num_ctx.int_limbs)));
}

// A value of the current type from test text: real digits; rat "p/q" or "p" exactly, other text as a real form;
// cplx "re" or "re,im"; uint decimal digits.
Words value_of(const std::string& s) {
    Words v = buffer();
    const size_t comma = s.find(','), slash = s.find('/');
    if (num_ctx.number_type == kTypeRational && s.find_first_of(".e") == std::string::npos) {
        rational_from_words(v.data(), std::stoll(s.substr(0, slash)),
                            slash == std::string::npos ? 1 : std::stoll(s.substr(slash + 1)));
    } else if (num_ctx.number_type == kTypeUnsigned) {
        const mpz_class z(s);
        mpz_export(v.data(), nullptr, -1, 8, 0, 0, z.get_mpz_t());
    } else {
        real_from_decimal(v.data(), s.substr(0, comma));
        if (num_ctx.number_type == kTypeComplex)
            real_from_decimal(complex_imag(v.data()), comma == std::string::npos ? "0" : s.substr(comma + 1));
    }
    return v;
}

std::string text_of(const Value* v, uint32_t flags = 0) {
    char16_t text[2000];
    const uint32_t pending = num_ctx.error_code;
    num_ctx.error_code = 0;
    const int n = value_format(text, 2000, v, flags);
    num_ctx.error_code = pending;
    return std::string(text, text + n);
}

// ---- Dispatch table: one row per documented fact -----------------------------------------------------------------

enum Op { Copy, SetInt, Special, Abs, Negate, Add, Sub, Mul, MulWord, Div, DivWord, Pow, PowInt, Root, Fn, Digits };

using OpFn = void (*)(Value* r, const Value* a, const Value* b, int64_t n);
const OpFn kOps[] = {
    [](Value* r, const Value* a, const Value*, int64_t) { value_copy(r, a); },
    [](Value* r, const Value*, const Value*, int64_t n) { value_set_int(r, n); },
    [](Value* r, const Value*, const Value*, int64_t n) { value_set_special(r, static_cast<int>(n)); },
    [](Value* r, const Value* a, const Value*, int64_t) { value_abs(r, a); },
    [](Value* r, const Value* a, const Value*, int64_t) { value_negate(r, a); },
    [](Value* r, const Value* a, const Value* b, int64_t) { value_add(r, a, b); },
    [](Value* r, const Value* a, const Value* b, int64_t) { value_sub(r, a, b); },
    [](Value* r, const Value* a, const Value* b, int64_t) { value_mul(r, a, b); },
    [](Value* r, const Value* a, const Value*, int64_t n) { value_mul_word(r, a, static_cast<uint64_t>(n)); },
    [](Value* r, const Value* a, const Value* b, int64_t) { value_div(r, a, b); },
    [](Value* r, const Value* a, const Value*, int64_t n) { value_div_word(r, a, static_cast<uint64_t>(n)); },
    [](Value* r, const Value* a, const Value* b, int64_t) { value_pow(r, a, b); },
    [](Value* r, const Value* a, const Value*, int64_t n) { value_pow_int(r, a, n); },
    [](Value* r, const Value* a, const Value* b, int64_t) { value_root(r, a, b); },
    [](Value* r, const Value* a, const Value*, int64_t n) { value_unary(r, a, static_cast<int>(n)); },
    [](Value* r, const Value* a, const Value*, int64_t n) { value_round_digits(r, a, n); },
};

// At L = 1 (uint: 2 limbs); want is value_format of the result. The real arithmetic and functions are covered
// against their oracles below; these rows pin each dispatch path once.
TEST(ValueDispatch, DocumentedCases) {
    constexpr uint32_t R = kTypeReal, Q = kTypeRational, C = kTypeComplex, U = kTypeUnsigned;
    constexpr uint32_t kDom = kErrDomain, kDiv = kErrDivByZero, kCpx = kErrComplexArg, kOvf = kErrIntOverflow;
    const std::string big = "9.999999999999999999e+4611686018427387903", root2 = "1.414213562373095049";
    const std::string umax = "340282366920938463463374607431768211455";
    // clang-format off
    const struct { uint32_t type; Op op; std::string a, b; int64_t n; std::string want; uint32_t error; } rows[] = {
        {R, Div, "1", "0", 0, "0", kDiv}, {R, Pow, "2", "0.5", 0, root2, 0},
        {R, PowInt, "3", "", -1, "0.3333333333333333333", 0}, {R, Fn, "-4", "", kFuncSqrt, "0", kDom},
        {R, Fn, "-2.5", "", kFuncAbs, "2.5", 0}, {R, Fn, "2.5", "", 213, "0", kDom}, {R, SetInt, "", "", -42, "-42", 0},
        {R, Digits, "-9.9996", "", 4, "-10", 0}, {R, Digits, "1.5", "", -1, "0", kDom},
        {R, Special, "", "", 1, "0", 0}, {R, Special, "", "", kSpecialPi, "3.141592653589793238", 0},
        {R, Special, "", "", kSpecialImaginaryUnit, "0", kDom}, {R, Special, "", "", kSpecialLargest, big, 0},
        {R, Special, "", "", kSpecialSmallest, "1e-4611686018427387903", 0},
        {Q, Special, "", "", kSpecialSmallestRational, "1/4294967295", 0},
        {Q, Special, "", "", kSpecialPi, "3.141592653589793238", 0},
        {Q, Special, "", "", kSpecialImaginaryUnit, "0", kDom}, {C, Special, "", "", kSpecialImaginaryUnit, "i", 0},
        {C, Special, "", "", kSpecialLargest, big, 0}, {C, Special, "", "", 55, "0", kDom},
        // Rational: exact first, else the real operation of the real type.
        {Q, Sub, "1/2", "1/3", 0, "1/6", 0}, {Q, MulWord, "3/4", "", 6, "9/2", 0}, {Q, Div, "1", "0", 0, "0", kDiv},
        {Q, DivWord, "-6/5", "", 4, "-3/10", 0}, {Q, PowInt, "2/3", "", -2, "9/4", 0},
        {Q, Pow, "2", "1/2", 0, root2, 0}, {Q, SetInt, "", "", -7, "-7", 0},
        {Q, Pow, "4/9", "3/2", 0, "8/27", 0}, {Q, Pow, "-8", "1/3", 0, "0", kDom}, {Q, Root, "27/8", "3", 0, "3/2", 0},
        {Q, Fn, "-8", "", kFuncCbrt, "-2", 0}, {Q, Fn, "1000", "", kFuncLog10, "3", 0},
        {Q, Fn, "-3/4", "", kFuncAbs, "3/4", 0}, {Q, Fn, "1", "", kFuncLn, "0", 0},  // no rational ln: the real one
        {Q, Fn, "13", "", kFuncFactorial, "6227020800", 0},  // over 32 bits: a real
        {Q, Mul, "4000000007/3", "4000000009/7", 0, "7.619047649523809554e+17", 0},
        {Q, Digits, "2/3", "", 3, "2/3", 0}, {Q, Digits, "2.71828", "", 3, "2.72", 0},
        // Complex: functions of the real part only; a complex exponent is not allowed.
        {C, Pow, "0,2", "2,1", 0, "0", kCpx}, {C, Pow, "4", "0.5", 0, "2", 0}, {C, Pow, "-4", "0.5", 0, "0", kDom},
        {C, PowInt, "1,1", "", 0, "1", 0}, {C, Div, "1,1", "0", 0, "0", kDiv}, {C, DivWord, "1", "", 0, "0", kDiv},
        {C, Mul, "1,2", "3,-1", 0, "5+5i", 0}, {C, Div, "5,5", "3,-1", 0, "1+2i", 0},
        {C, Add, "1,2", "3,-1", 0, "4+i", 0}, {C, Sub, "1,2", "1,3", 0, "-i", 0},
        {C, Fn, "-4", "", kFuncSqrt, "0", kCpx}, {C, Fn, "0,1", "", kFuncSqrt, "0", kCpx},
        {C, Fn, "5", "", kFuncFactorial, "120", 0}, {C, Abs, "3,-4", "", 0, "5", 0},
        {C, PowInt, "0,2", "", 2, "-4", 0}, {C, Root, "8", "3", 0, "2", 0}, {C, Root, "8,1", "3", 0, "0", kCpx},
        {C, Root, "8", "3,1", 0, "0", kCpx}, {C, Negate, "1,-2", "", 0, "-1+2i", 0},
        {C, MulWord, "1,-2", "", 2, "2-4i", 0}, {C, DivWord, "1,-2", "", 2, "0.5-i", 0},
        {C, Digits, "1.25,-3.35", "", 2, "1.3-3.4i", 0}, {C, Digits, "1.25,-3.35", "", -2, "0", kDom},
        {C, SetInt, "", "", -3, "-3", 0},
        // Unsigned: 128 bits; what leaves them raises 12 and gives 0.
        {U, SetInt, "", "", 1234567, "1234567", 0}, {U, SetInt, "", "", -1, "0", kDom},
        {U, Copy, "12345", "", 0, "12345", 0}, {U, Add, umax, "1", 0, "0", kOvf},
        {U, Mul, "18446744073709551616", "18446744073709551615", 0, "340282366920938463444927863358058659840", 0},
        {U, Pow, "3", "80", 0, "147808829414345923316083210206383297601", 0}, {U, Pow, "3", "81", 0, "0", kOvf},
        {U, PowInt, "2", "", 127, "170141183460469231731687303715884105728", 0}, {U, PowInt, "2", "", 128, "0", kOvf},
        {U, Root, "1000001", "3", 0, "100", 0},
    };
    // clang-format on
    for (const auto& c : rows) {
        Scope scope(c.type, 1, 2);
        const Words a = value_of(c.a.empty() ? "0" : c.a), b = value_of(c.b.empty() ? "0" : c.b);
        Words r = buffer();
        Snapshot before;
        kOps[c.op](r.data(), a.data(), b.data(), c.n);
        const std::string row = std::to_string(c.type) + " op " + std::to_string(int(c.op)) + " " + c.a + " " + c.b +
                                " " + std::to_string(c.n);
        EXPECT_EQ(num_ctx.error_code, c.error) << row;
        EXPECT_EQ(text_of(r.data()), c.want) << row;
        EXPECT_TRUE(before.same()) << row;
    }
}

// ---- Real against the exact oracle and MPFR ---------------------------------------------------------------------

// Sums, products and word operations rounded on their guard limb, quotients at guard precision: each is the exact
// result rounded half up to 19 L digits. Rounding to s digits decides on the first dropped digit and carries through
// runs of nines across limbs.
TEST(ValueReal, ArithmeticAndDigitsAreTheExactResultRoundedHalfUp) {
    Rng rng(0x7A1E0001);
    for (int limbs : {1, 2, 5}) {
        Scope scope(kTypeReal, limbs);
        for (int iter = 0; iter < 400; ++iter) {
            Words a = buffer(), b = buffer(), r = buffer();
            random_real(rng, a.data(), -20, 20);
            random_real(rng, b.data(), -20, 20);
            for (int i = 0; iter % 3 == 0 && i < limbs; ++i) a[1 + size_t(i)] = kLimbBase - 1 - rng() % 3;
            const uint64_t w = 1 + rng() % (rng() & 1 ? 10 : kLimbBase);
            const int64_t s = static_cast<int64_t>(rng() % uint64_t(19 * limbs + 2)), n = static_cast<int64_t>(w);
            const Dec da = dec(a.data()), db = dec(b.data()), dw{mpz_class(std::to_string(w)), 0};
            // clang-format off
            const struct { Op op; int64_t n; Dec want; } rows[] = {
                {Add, 0, R(dec_add(da, db))}, {Sub, 0, R(dec_add(da, db, -1))}, {Mul, 0, R(dec_mul(da, db))},
                {Div, 0, RD(da, db)},         {MulWord, n, R(dec_mul(da, dw))}, {DivWord, n, RD(da, dw)},
                {Digits, s, round_to(da, s)}};
            // clang-format on
            for (const auto& row : rows) {
                num_ctx.error_code = 0;
                Snapshot before;
                kOps[row.op](r.data(), a.data(), b.data(), row.n);
                ASSERT_EQ(num_ctx.error_code, 0u);
                ASSERT_TRUE(same(dec(r.data()), row.want))
                    << "op " << int(row.op) << " L" << limbs << " a=" << str(da) << " b=" << str(db) << " w=" << w
                    << " s=" << s << " got " << str(dec(r.data())) << " want " << str(row.want);
                ASSERT_TRUE(before.same());
            }
        }
    }
}

// Guarded functions (code 0: a^b) are correctly rounded almost always and never a unit off; an unguarded dispatch
// misses about half. The factorial has a full extra limb: n! is always the exact product rounded half up, by word
// products and beyond their threshold (367 at two limbs) by Stirling's series.
TEST(ValueReal, FunctionsAreCorrectlyRoundedAgainstMpfr) {
    Rng rng(0x7A1E0002);
    using MpfrFn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    const MpfrFn fac = [](mpfr_ptr r, mpfr_srcptr x, mpfr_rnd_t rnd) {
        return mpfr_fac_ui(r, mpfr_get_ui(x, rnd), rnd);
    };
    // clang-format off
    const struct { int code; MpfrFn ref; int64_t emin, emax; bool positive; } fns[] = {
        {kFuncAtanh, mpfr_atanh, -2, -1, false}, {kFuncAsinh, mpfr_asinh, -2, 2, false}, {0, nullptr, -2, 2, true},
        {kFuncLog10, mpfr_log10, -5, 5, true}, {kFuncAsin, mpfr_asin, -2, -1, false}, {kFuncLn, mpfr_log, -5, 5, true},
        {kFuncAcos, mpfr_acos, -2, -1, false}, {kFuncCbrt, mpfr_cbrt, -5, 5, false}, {kFuncFactorial, fac, 0, 0, true},
        {kFuncAtan, mpfr_atan, -3, 3, false}, {kFuncSinh, mpfr_sinh, -2, 1, false}, {kFuncExp, mpfr_exp, -3, 1, false},
        {kFuncCosh, mpfr_cosh, -2, 1, false}, {kFuncTanh, mpfr_tanh, -2, 0, false}, {kFuncAbs, mpfr_abs, -5, 5, false},
        {kFuncAcosh, mpfr_acosh, 0, 2, true}, {kFuncSqrt, mpfr_sqrt, -5, 5, true}, {kFuncLog2, mpfr_log2, -5, 5, true},
        {kFuncTan, mpfr_tan, -2, -1, false}, {kFuncSin, mpfr_sin, -2, 0, false}, {kFuncCos, mpfr_cos, -2, 0, false}};
    // clang-format on
    for (int limbs : {1, 3}) {
        Scope scope(kTypeReal, limbs);
        const mpfr_prec_t bits = 4 * (19 * limbs + 80);
        for (const auto& f : fns) {
            int exact = 0;
            for (int iter = 0; iter < 60; ++iter) {
                Words a = buffer(), b = buffer(), r = buffer();
                random_real(rng, a.data(), f.emin, f.emax, !f.positive);
                random_real(rng, b.data(), -1, 1);
                if (f.code == kFuncFactorial)
                    value_set_int(a.data(), static_cast<int64_t>(rng() % (iter % 2 ? 400 : 20001)));
                num_ctx.error_code = 0;
                Snapshot before;
                f.ref ? value_unary(r.data(), a.data(), f.code) : value_pow(r.data(), a.data(), b.data());
                ASSERT_EQ(num_ctx.error_code, 0u) << f.code << " " << str(dec(a.data()));
                ASSERT_TRUE(before.same());
                mpfr_t x, y, z;
                mpfr_inits2(bits, x, y, z, static_cast<mpfr_ptr>(nullptr));
                mpfr_set_str(x, str(dec(a.data())).c_str(), 10, MPFR_RNDN);
                mpfr_set_str(y, str(dec(b.data())).c_str(), 10, MPFR_RNDN);
                f.ref ? f.ref(z, x, MPFR_RNDN) : mpfr_pow(z, x, y, MPFR_RNDN);
                // The reference digits: 30 beyond the working precision, then rounded half up.
                mpfr_exp_t e10 = 0;
                const int64_t digits = 19 * limbs;
                char* text = mpfr_get_str(nullptr, &e10, 10, size_t(digits + 30), z, MPFR_RNDZ);
                const Dec want = R(Dec{mpz_class(text), e10 - digits - 30});
                mpfr_free_str(text);
                const mpz_class off = abs(dec_add(dec(r.data()), want, -1).m);
                EXPECT_TRUE(off <= 1) << f.code << " x=" << str(dec(a.data())) << " L" << limbs << " got "
                                      << str(dec(r.data()));
                exact += off == 0 ? 1 : 0;
                mpfr_clears(x, y, z, static_cast<mpfr_ptr>(nullptr));
            }
            EXPECT_GE(exact, f.code == kFuncFactorial ? 60 : 54) << "function " << f.code << " L" << limbs;
        }
    }
}

}  // namespace
