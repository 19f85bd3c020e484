#include "formula/value.h"

#include <gmp.h>
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "integer/bigint.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "support/decimal_oracle.h"

namespace {

using Rng = std::mt19937_64;
using Words = std::vector<uint64_t>;

struct Scope {
    Scope(uint32_t type, int limbs, int int_limbs = 2) {
        static const bool initialised = (init_numeric_context(), true);  // recomputes the constants: once
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

// Room for a value of any type at the current precision.
Words buffer() {
    return Words(std::max<size_t>(2 * (size_t(num_ctx.real_limbs) + 1), size_t(num_ctx.int_limbs)));
}

void real_from_text(RealNum* dst, const std::string& s) {
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

// A value of the current type from test text: real digits; rat "p/q" or "p" exactly, other text as a real form;
// cplx "re" or "re,im"; uint decimal digits.
Words value_of(const std::string& s) {
    Words v = buffer();
    const size_t comma = s.find(',');
    switch (num_ctx.number_type) {
        case kTypeRational:
            if (s.find_first_of(".e") == std::string::npos) {
                const size_t slash = s.find('/');
                rational_from_words(v.data(), std::stoll(s.substr(0, slash)),
                                    slash == std::string::npos ? 1 : std::stoll(s.substr(slash + 1)));
                return v;
            }
            real_from_text(v.data(), s);
            return v;
        case kTypeComplex:
            real_from_text(v.data(), s.substr(0, comma));
            real_from_text(complex_imag(v.data()), comma == std::string::npos ? "0" : s.substr(comma + 1));
            return v;
        case kTypeUnsigned: {
            const mpz_class z(s);
            mpz_export(v.data(), nullptr, -1, 8, 0, 0, z.get_mpz_t());
            return v;
        }
        default:
            real_from_text(v.data(), s);
            return v;
    }
}

std::string text_of(const Value* v, uint32_t flags = 0) {
    char16_t text[2000];
    const uint32_t pending = num_ctx.error_code;
    num_ctx.error_code = 0;
    const int n = value_format(text, 2000, v, flags);
    num_ctx.error_code = pending;
    return std::string(text, text + n);
}

// ---- Exact decimal oracle: m * 10^e --------------------------------------------------------------------------

Dec RD(const Dec& a, const Dec& b) {
    const int64_t extra = 38 * static_cast<int64_t>(num_ctx.real_limbs) + 40;
    Dec q{0, a.e - b.e - extra};
    mpz_class num = a.m * pow10(extra);
    mpz_tdiv_q(q.m.get_mpz_t(), num.get_mpz_t(), b.m.get_mpz_t());
    return R(q);
}

bool same(const Dec& a, const Dec& b) {
    const int64_t e = std::min(a.e, b.e);
    return a.m * pow10(a.e - e) == b.m * pow10(b.e - e);
}

std::string str(const Dec& a) {
    return a.m.get_str() + "e" + std::to_string(a.e);
}

void random_real(Rng& rng, RealNum* dst, int64_t emin, int64_t emax, bool negative_allowed = true) {
    dst[1] = kLimbBase / 10 + rng() % (kLimbBase - kLimbBase / 10);
    for (int i = 1; i < num_ctx.real_limbs; ++i) dst[1 + i] = rng() % kLimbBase;
    if (rng() % 4 == 0) {
        dst[1] -= dst[1] % 100000000000000ull;
        for (int i = 1; i < num_ctx.real_limbs; ++i) dst[1 + i] = 0;
    }
    const bool negative = negative_allowed && (rng() & 1) != 0;
    real_set_exponent(dst, emin + static_cast<int64_t>(rng() % uint64_t(emax - emin + 1)), negative);
}

// ---- Dispatch table: one row per documented fact -----------------------------------------------------------------

enum class Op {
    Copy,
    SetInt,
    Special,
    Abs,
    Negate,
    Add,
    Sub,
    Mul,
    MulWord,
    Div,
    DivWord,
    Pow,
    PowInt,
    Root,
    Fn,
    Digits
};

void run(Op op, Value* r, const Value* a, const Value* b, int64_t n) {
    switch (op) {
        case Op::Copy:
            return value_copy(r, a);
        case Op::SetInt:
            return value_set_int(r, n);
        case Op::Special:
            return value_set_special(r, static_cast<int>(n));
        case Op::Abs:
            return value_abs(r, a);
        case Op::Negate:
            return value_negate(r, a);
        case Op::Add:
            return value_add(r, a, b);
        case Op::Sub:
            return value_sub(r, a, b);
        case Op::Mul:
            return value_mul(r, a, b);
        case Op::MulWord:
            return value_mul_word(r, a, static_cast<uint64_t>(n));
        case Op::Div:
            return value_div(r, a, b);
        case Op::DivWord:
            return value_div_word(r, a, static_cast<uint64_t>(n));
        case Op::Pow:
            return value_pow(r, a, b);
        case Op::PowInt:
            return value_pow_int(r, a, n);
        case Op::Root:
            return value_root(r, a, b);
        case Op::Fn:
            return value_unary(r, a, static_cast<int>(n));
        case Op::Digits:
            return value_round_digits(r, a, n);
    }
}

struct Case {
    uint32_t type;
    Op op;
    const char *a, *b;
    int64_t n;
    const char* want;  // value_format of the result at L = 1 (uint: 2 limbs)
    uint32_t error;
};

const Case kCases[] = {
    // Real: guarded divisions, powers, roots and functions round the last of the 19 digits half up.
    {kTypeReal, Op::Div, "2", "3", 0, "0.6666666666666666667", 0},
    {kTypeReal, Op::Div, "1", "0", 0, "0", kErrDivByZero},
    {kTypeReal, Op::DivWord, "2", "", 3, "0.6666666666666666667", 0},
    {kTypeReal, Op::MulWord, "9.999999999999999999", "", 3, "30", 0},
    {kTypeReal, Op::Add, "9.999999999999999999", "0.0000000000000000005", 0, "10", 0},
    {kTypeReal, Op::Sub, "1", "0.00000000000000000004", 0, "1", 0},
    {kTypeReal, Op::Mul, "1.999999999999999999", "1.5", 0, "2.999999999999999999", 0},
    {kTypeReal, Op::Pow, "2", "0.5", 0, "1.414213562373095049", 0},
    {kTypeReal, Op::Pow, "-8", "0.5", 0, "0", kErrDomain},
    {kTypeReal, Op::PowInt, "3", "", -1, "0.3333333333333333333", 0},
    {kTypeReal, Op::PowInt, "2", "", 64, "1.844674407370955162e+19", 0},
    {kTypeReal, Op::Root, "8", "3", 0, "2", 0},
    {kTypeReal, Op::Root, "2", "2", 0, "1.414213562373095049", 0},
    {kTypeReal, Op::Fn, "2", "", kFuncSqrt, "1.414213562373095049", 0},
    {kTypeReal, Op::Fn, "-4", "", kFuncSqrt, "0", kErrDomain},
    {kTypeReal, Op::Fn, "1", "", kFuncExp, "2.718281828459045235", 0},
    {kTypeReal, Op::Fn, "10", "", kFuncLn, "2.302585092994045684", 0},
    {kTypeReal, Op::Fn, "8", "", kFuncLog2, "3", 0},
    {kTypeReal, Op::Fn, "1", "", kFuncSin, "0.8414709848078965067", 0},
    {kTypeReal, Op::Fn, "25", "", kFuncFactorial, "1.551121004333098598e+25", 0},
    {kTypeReal, Op::Fn, "-2.5", "", kFuncAbs, "2.5", 0},
    {kTypeReal, Op::Fn, "2.5", "", 213, "0", kErrDomain},
    {kTypeReal, Op::Negate, "2.5", "", 0, "-2.5", 0},
    {kTypeReal, Op::SetInt, "", "", -42, "-42", 0},
    {kTypeReal, Op::Digits, "-9.9996", "", 4, "-10", 0},
    {kTypeReal, Op::Digits, "1.5", "", -1, "0", kErrDomain},
    // Special values.
    {kTypeReal, Op::Special, "", "", 1, "0", 0},
    {kTypeReal, Op::Special, "", "", kSpecialPi, "3.141592653589793238", 0},
    {kTypeReal, Op::Special, "", "", kSpecialImaginaryUnit, "0", kErrDomain},
    {kTypeReal, Op::Special, "", "", 7, "0", kErrDomain},
    {kTypeReal, Op::Special, "", "", kSpecialSmallest, "1e-4611686018427387903", 0},
    {kTypeReal, Op::Special, "", "", kSpecialLargest, "9.999999999999999999e+4611686018427387903", 0},
    {kTypeRational, Op::Special, "", "", 0, "0", 0},
    {kTypeRational, Op::Special, "", "", kSpecialSmallestRational, "1/4294967295", 0},
    {kTypeRational, Op::Special, "", "", kSpecialLargestRational, "4294967295", 0},
    {kTypeRational, Op::Special, "", "", kSpecialPi, "3.141592653589793238", 0},
    {kTypeRational, Op::Special, "", "", kSpecialImaginaryUnit, "0", kErrDomain},
    {kTypeComplex, Op::Special, "", "", kSpecialImaginaryUnit, "i", 0},
    {kTypeComplex, Op::Special, "", "", kSpecialPi, "3.141592653589793238", 0},
    {kTypeComplex, Op::Special, "", "", kSpecialLargest, "9.999999999999999999e+4611686018427387903", 0},
    {kTypeComplex, Op::Special, "", "", 55, "0", kErrDomain},
    // Rational: exact first, else the real operation of the real type.
    {kTypeRational, Op::Add, "1/3", "1/6", 0, "1/2", 0},
    {kTypeRational, Op::Pow, "4/9", "3/2", 0, "8/27", 0},
    {kTypeRational, Op::Pow, "2", "1/2", 0, "1.414213562373095049", 0},
    {kTypeRational, Op::Pow, "-8", "1/3", 0, "0", kErrDomain},
    {kTypeRational, Op::Root, "27/8", "3", 0, "3/2", 0},
    {kTypeRational, Op::PowInt, "-2/3", "", -3, "-27/8", 0},
    {kTypeRational, Op::Div, "1", "0", 0, "0", kErrDivByZero},
    {kTypeRational, Op::Fn, "4/9", "", kFuncSqrt, "2/3", 0},
    {kTypeRational, Op::Fn, "2", "", kFuncSqrt, "1.414213562373095049", 0},
    {kTypeRational, Op::Fn, "-4", "", kFuncSqrt, "0", kErrDomain},
    {kTypeRational, Op::Fn, "-8", "", kFuncCbrt, "-2", 0},
    {kTypeRational, Op::Fn, "1/8", "", kFuncLog2, "-3", 0},
    {kTypeRational, Op::Fn, "1000", "", kFuncLog10, "3", 0},
    {kTypeRational, Op::Fn, "12", "", kFuncFactorial, "479001600", 0},
    {kTypeRational, Op::Fn, "13", "", kFuncFactorial, "6227020800", 0},  // over 32 bits: a real
    {kTypeRational, Op::Fn, "-3/4", "", kFuncAbs, "3/4", 0},
    {kTypeRational, Op::Mul, "4000000007/3", "4000000009/7", 0, "7.619047649523809554e+17", 0},
    {kTypeRational, Op::Digits, "2/3", "", 3, "2/3", 0},
    {kTypeRational, Op::Digits, "2.71828", "", 3, "2.72", 0},
    {kTypeRational, Op::SetInt, "", "", -7, "-7", 0},
    // Complex.
    {kTypeComplex, Op::Mul, "1,2", "3,-1", 0, "5+5i", 0},
    {kTypeComplex, Op::Div, "5,5", "3,-1", 0, "1+2i", 0},
    {kTypeComplex, Op::Add, "1,2", "3,-1", 0, "4+i", 0},
    {kTypeComplex, Op::Sub, "1,2", "1,3", 0, "-i", 0},
    {kTypeComplex, Op::Fn, "-4", "", kFuncSqrt, "0", kErrComplexArg},
    {kTypeComplex, Op::Fn, "4", "", kFuncSqrt, "2", 0},
    {kTypeComplex, Op::Fn, "0,1", "", kFuncSqrt, "0", kErrComplexArg},
    {kTypeComplex, Op::Fn, "0", "", kFuncLn, "0", kErrComplexArg},
    {kTypeComplex, Op::Fn, "5", "", kFuncFactorial, "120", 0},
    {kTypeComplex, Op::Fn, "3,-4", "", kFuncAbs, "5", 0},
    {kTypeComplex, Op::Abs, "3,-4", "", 0, "5", 0},
    {kTypeComplex, Op::Pow, "0,2", "2", 0, "-4", 0},
    {kTypeComplex, Op::Pow, "0,2", "0.5", 0, "0", kErrDomain},
    {kTypeComplex, Op::PowInt, "0,2", "", 2, "-4", 0},
    {kTypeComplex, Op::Root, "8", "3", 0, "2", 0},
    {kTypeComplex, Op::Root, "8,1", "3", 0, "0", kErrComplexArg},
    {kTypeComplex, Op::Root, "8", "3,1", 0, "0", kErrComplexArg},
    {kTypeComplex, Op::Negate, "1,-2", "", 0, "-1+2i", 0},
    {kTypeComplex, Op::MulWord, "1,-2", "", 2, "2-4i", 0},
    {kTypeComplex, Op::DivWord, "1,-2", "", 2, "0.5-i", 0},
    {kTypeComplex, Op::Digits, "1.25,-3.35", "", 2, "1.3-3.4i", 0},
    {kTypeComplex, Op::Digits, "1.25,-3.35", "", -2, "0", kErrDomain},
    {kTypeComplex, Op::SetInt, "", "", -3, "-3", 0},
    // Unsigned integers.
    {kTypeUnsigned, Op::SetInt, "", "", 1234567, "1234567", 0},
    {kTypeUnsigned, Op::SetInt, "", "", -1, "0", kErrDomain},
    {kTypeUnsigned, Op::Sub, "3", "5", 0, "0", kErrIntOverflow},
    {kTypeUnsigned, Op::PowInt, "2", "", 127, "170141183460469231731687303715884105728", 0},
    {kTypeUnsigned, Op::PowInt, "2", "", 128, "0", kErrIntOverflow},
    {kTypeUnsigned, Op::Root, "1000001", "3", 0, "100", 0},
};

TEST(ValueDispatch, DocumentedCases) {
    for (const auto& c : kCases) {
        Scope scope(c.type, 1, 2);
        Words a = value_of(c.a[0] ? c.a : "0"), b = value_of(c.b[0] ? c.b : "0"), r = buffer();
        Snapshot before;
        run(c.op, r.data(), a.data(), b.data(), c.n);
        const std::string row = std::to_string(c.type) + " op " + std::to_string(int(c.op)) + " " + c.a + " " + c.b +
                                " " + std::to_string(c.n);
        EXPECT_EQ(num_ctx.error_code, c.error) << row;
        EXPECT_EQ(text_of(r.data()), c.want) << row;
        EXPECT_TRUE(before.same()) << row;
    }
}

// Unsupported types reject every operation, and uint the operations it does not define, with error 3 and the
// destination untouched.
TEST(ValueDispatch, ErrorThreeLeavesTheDestination) {
    const Op all[] = {Op::Copy,    Op::SetInt, Op::Special, Op::Abs, Op::Negate, Op::Add,  Op::Sub, Op::Mul,
                      Op::MulWord, Op::Div,    Op::DivWord, Op::Pow, Op::PowInt, Op::Root, Op::Fn,  Op::Digits};
    const Op uint_undefined[] = {Op::Special, Op::Abs,     Op::Negate, Op::MulWord,
                                 Op::Div,     Op::DivWord, Op::Fn,     Op::Digits};
    for (uint32_t type : {0u, 4u, 11u, uint32_t{kTypeUnsigned}}) {
        Scope scope(type, 2, 3);
        for (Op op : all) {
            if (type == kTypeUnsigned &&
                std::find(std::begin(uint_undefined), std::end(uint_undefined), op) == std::end(uint_undefined))
                continue;
            Words a = buffer(), b = buffer(), r = buffer();
            a[1] = b[1] = kLimbBase / 10;
            std::fill(r.begin(), r.end(), 0x5A5Aull);
            num_ctx.error_code = 0;
            Snapshot before;
            run(op, r.data(), a.data(), b.data(), kFuncSqrt);
            EXPECT_EQ(num_ctx.error_code, kErrNumberType) << type << " op " << int(op);
            EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](uint64_t w) { return w == 0x5A5Aull; })) << int(op);
            EXPECT_TRUE(before.same());
        }
        Words a = buffer();
        num_ctx.error_code = 0;
        EXPECT_EQ(value_exponent(a.data()), 0);
        EXPECT_FALSE(value_is_decimal(a.data()));
        EXPECT_EQ(num_ctx.error_code, kErrNumberType);
        if (type == kTypeUnsigned) continue;
        num_ctx.error_code = 0;
        EXPECT_EQ(value_compare_int(a.data(), 1), 0);
        char16_t text[8];
        EXPECT_EQ(value_format(text, 8, a.data(), 0), 0);
        EXPECT_EQ(num_ctx.error_code, kErrNumberType);
        EXPECT_EQ(value_words(), 0u);
    }
}

// ---- Real against the exact oracle and MPFR ---------------------------------------------------------------------

// Sums, products and word operations rounded on their guard limb, quotients at guard precision: both are the
// exact result rounded half up to 19 L digits.
TEST(ValueReal, ArithmeticIsTheExactResultRoundedHalfUp) {
    Rng rng(0x7A1E0001);
    for (int limbs : {1, 2, 5}) {
        Scope scope(kTypeReal, limbs);
        for (int iter = 0; iter < 400; ++iter) {
            Words a = buffer(), b = buffer(), r = buffer();
            random_real(rng, a.data(), -20, 20);
            random_real(rng, b.data(), -20, 20);
            const uint64_t w = 1 + rng() % (rng() & 1 ? 10 : kLimbBase);
            const Dec da = dec(a.data()), db = dec(b.data()), dw{mpz_class(std::to_string(w)), 0};
            const int64_t e = std::min(da.e, db.e);
            const Dec sum{da.m * pow10(da.e - e) + db.m * pow10(db.e - e), e};
            const Dec difference{da.m * pow10(da.e - e) - db.m * pow10(db.e - e), e};
            const struct {
                Op op;
                Dec want;
            } rows[] = {{Op::Add, R(sum)},
                        {Op::Sub, R(difference)},
                        {Op::Mul, R(Dec{da.m * db.m, da.e + db.e})},
                        {Op::Div, RD(da, db)},
                        {Op::MulWord, R(Dec{da.m * dw.m, da.e})},
                        {Op::DivWord, RD(da, dw)}};
            for (const auto& row : rows) {
                num_ctx.error_code = 0;
                Snapshot before;
                run(row.op, r.data(), a.data(), b.data(), static_cast<int64_t>(w));
                ASSERT_EQ(num_ctx.error_code, 0u);
                ASSERT_TRUE(same(dec(r.data()), row.want))
                    << "op " << int(row.op) << " L" << limbs << " a=" << str(da) << " b=" << str(db) << " w=" << w
                    << " got " << str(dec(r.data())) << " want " << str(row.want);
                ASSERT_TRUE(before.same());
            }
        }
    }
}

// The factorial runs with a full extra limb: n! is the exact product rounded half up, by the word products and
// beyond their threshold (367 at two limbs) by Stirling's series.
TEST(ValueReal, FactorialIsTheRoundedExactProduct) {
    std::vector<int64_t> ns;
    for (int64_t n = 0; n <= 150; ++n) ns.push_back(n);
    for (int64_t n = 360; n <= 700; n += 7) ns.push_back(n);
    ns.insert(ns.end(), {1000, 3000, 20000});
    for (int limbs : {1, 2, 3}) {
        Scope scope(kTypeReal, limbs);
        for (int64_t n : ns) {
            Words a = buffer(), r = buffer();
            value_set_int(a.data(), n);
            value_unary(r.data(), a.data(), kFuncFactorial);
            mpz_class f;
            mpz_fac_ui(f.get_mpz_t(), static_cast<unsigned long>(n));
            ASSERT_EQ(num_ctx.error_code, 0u);
            ASSERT_TRUE(same(dec(r.data()), R(Dec{f, 0}))) << n << "! L" << limbs << " got " << str(dec(r.data()));
        }
    }
}

// Guarded functions come out correctly rounded almost always and never more than one unit off; a truncating or
// unguarded dispatch misses about half of them.
TEST(ValueReal, FunctionsAreCorrectlyRoundedAgainstMpfr) {
    Rng rng(0x7A1E0002);
    using MpfrFn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    const struct {
        int code;
        MpfrFn ref;
        int64_t emin, emax;
        bool positive;
    } fns[] = {{kFuncSqrt, mpfr_sqrt, -5, 5, true},
               {kFuncCbrt, mpfr_cbrt, -5, 5, false},
               {kFuncLn, mpfr_log, -5, 5, true},
               {kFuncLog10, mpfr_log10, -5, 5, true},
               {kFuncExp, mpfr_exp, -3, 1, false},
               {kFuncSin, mpfr_sin, -2, 0, false},
               {kFuncCos, mpfr_cos, -2, 0, false},
               {kFuncAtan, mpfr_atan, -3, 3, false},
               {kFuncSinh, mpfr_sinh, -2, 1, false},
               {kFuncTanh, mpfr_tanh, -2, 0, false},
               {0, nullptr, -2, 2, true}};  // pow: a^b
    for (int limbs : {1, 3}) {
        Scope scope(kTypeReal, limbs);
        const mpfr_prec_t bits = 4 * (19 * limbs + 80);
        for (const auto& f : fns) {
            int exact = 0;
            for (int iter = 0; iter < 60; ++iter) {
                Words a = buffer(), b = buffer(), r = buffer();
                random_real(rng, a.data(), f.emin, f.emax, !f.positive);
                random_real(rng, b.data(), -1, 1);
                num_ctx.error_code = 0;
                Snapshot before;
                if (f.ref != nullptr) value_unary(r.data(), a.data(), f.code);
                if (f.ref == nullptr) value_pow(r.data(), a.data(), b.data());
                ASSERT_EQ(num_ctx.error_code, 0u) << f.code << " " << str(dec(a.data()));
                ASSERT_TRUE(before.same());
                mpfr_t x, y, z;
                mpfr_inits2(bits, x, y, z, static_cast<mpfr_ptr>(nullptr));
                mpfr_set_str(x, str(dec(a.data())).c_str(), 10, MPFR_RNDN);
                mpfr_set_str(y, str(dec(b.data())).c_str(), 10, MPFR_RNDN);
                if (f.ref != nullptr) f.ref(z, x, MPFR_RNDN);
                if (f.ref == nullptr) mpfr_pow(z, x, y, MPFR_RNDN);
                // The reference digits: 30 beyond the working precision, then rounded half up.
                mpfr_exp_t e10 = 0;
                const int64_t digits = 19 * limbs;
                char* text = mpfr_get_str(nullptr, &e10, 10, size_t(digits + 30), z, MPFR_RNDZ);
                const Dec want = R(Dec{mpz_class(text), e10 - digits - 30});
                mpfr_free_str(text);
                const Dec got = dec(r.data());
                const int64_t e = std::min(got.e, want.e);
                const mpz_class off = abs(got.m * pow10(got.e - e) - want.m * pow10(want.e - e));
                EXPECT_TRUE(off <= 1) << f.code << " x=" << str(dec(a.data())) << " L" << limbs << " got " << str(got);
                exact += off == 0 ? 1 : 0;
                mpfr_clears(x, y, z, static_cast<mpfr_ptr>(nullptr));
            }
            EXPECT_GE(exact, 54) << "function " << f.code << " L" << limbs;
        }
    }
}

// Inside a guard the caller opened, operations run at that precision and leave the guard to its owner.
TEST(ValueReal, ActiveGuardIsLeftToItsOwner) {
    Scope scope(kTypeReal, 2);
    begin_guard(2);
    Words a = value_of("2"), b = value_of("3"), r = buffer();
    value_div(r.data(), a.data(), b.data());
    value_unary(r.data(), r.data(), kFuncSqrt);
    EXPECT_EQ(num_ctx.error_code, 0u);
    EXPECT_EQ(num_ctx.real_limbs, 3);
    EXPECT_EQ(num_ctx.guard_digit_reduction, 17u);
    end_guard();
}

// ---- Rational against GMP ----------------------------------------------------------------------------------------

TEST(ValueRational, ExactArithmeticMatchesMpq) {
    Rng rng(0x7A1E0003);
    for (int limbs : {2, 4}) {
        Scope scope(kTypeRational, limbs);
        for (int iter = 0; iter < 300; ++iter) {
            const int64_t an = int64_t(rng() % 2001) - 1000, ad = 1 + int64_t(rng() % 999);
            const int64_t bn = (int64_t(rng() % 2000) - 1000) | 1, bd = 1 + int64_t(rng() % 999);
            const int64_t w = 1 + int64_t(rng() % 1000), k = an == 0 ? 3 : int64_t(rng() % 9) - 4;
            const std::string sa = std::to_string(an) + "/" + std::to_string(ad);
            const std::string sb = std::to_string(bn) + "/" + std::to_string(bd);
            Words a = value_of(sa), b = value_of(sb), r = buffer();
            mpq_class qa(sa), qb(sb), qk = 1;
            qa.canonicalize(), qb.canonicalize();
            for (int64_t i = 0; i < std::abs(k); ++i) qk *= qa;
            if (k < 0) qk = 1 / qk;
            const struct {
                Op op;
                mpq_class want;
            } rows[] = {{Op::Add, qa + qb}, {Op::Sub, qa - qb},           {Op::Mul, qa * qb},
                        {Op::Div, qa / qb}, {Op::MulWord, qa * w},        {Op::DivWord, qa / w},
                        {Op::PowInt, qk},   {Op::Negate, mpq_class(-qa)}, {Op::Abs, abs(qa)}};
            for (const auto& row : rows) {
                num_ctx.error_code = 0;
                Snapshot before;
                run(row.op, r.data(), a.data(), b.data(), row.op == Op::PowInt ? k : w);
                const std::string input = "op " + std::to_string(int(row.op)) + " " + sa + " " + sb +
                                          " w=" + std::to_string(w) + " k=" + std::to_string(k);
                ASSERT_EQ(num_ctx.error_code, 0u) << input;
                ASSERT_TRUE(rational_is_exact(r.data())) << input << " gave " << text_of(r.data());
                ASSERT_EQ(text_of(r.data()), row.want.get_str()) << input;
                ASSERT_TRUE(before.same()) << input;
            }
            EXPECT_EQ(value_compare_int(a.data(), 0), sgn(qa)) << sa;
            EXPECT_FALSE(value_is_decimal(a.data()));
        }
    }
}

TEST(ValueRational, QueriesOfFractionsAndRealForms) {
    Scope scope(kTypeRational, 2);
    Words v = value_of("3/4");
    EXPECT_EQ(value_exponent(v.data()), 0);
    EXPECT_EQ(num_ctx.error_code, kErrDomain);
    num_ctx.error_code = 0;
    v = value_of("-1234.5");
    EXPECT_TRUE(value_is_decimal(v.data()));
    EXPECT_EQ(value_exponent(v.data()), 3);
    EXPECT_EQ(value_compare_int(v.data(), -1235), 1);
    EXPECT_EQ(num_ctx.error_code, 0u);
}

// ---- Complex queries
// -------------------------------------------------------------------------------------------------

TEST(ValueComplex, QueriesReadTheRealPart) {
    Scope scope(kTypeComplex, 1);
    Words v = value_of("250,1");
    EXPECT_EQ(value_compare_int(v.data(), 1000), 1);  // a nonzero imaginary part compares above
    v = value_of("250");
    EXPECT_EQ(value_compare_int(v.data(), 1000), -1);
    EXPECT_EQ(value_compare_int(v.data(), 250), 0);
    EXPECT_EQ(value_exponent(v.data()), 2);
    EXPECT_TRUE(value_is_decimal(v.data()));
    EXPECT_EQ(num_ctx.error_code, 0u);
    v = value_of("0,5");
    EXPECT_EQ(value_exponent(v.data()), 0);
    EXPECT_EQ(num_ctx.error_code, kErrDomain);
}

// ---- Unsigned integers against GMP -------------------------------------------------------------------------------

TEST(ValueUnsigned, ArithmeticMatchesMpz) {
    Rng rng(0x7A1E0005);
    gmp_randclass random(gmp_randinit_default);
    random.seed(0x7A1E0005ul);
    for (int width : {1, 3}) {
        Scope scope(kTypeUnsigned, 2, width);
        const mpz_class limit = mpz_class(1) << (64 * width);
        for (int iter = 0; iter < 300; ++iter) {
            const mpz_class za = random.get_z_bits(1 + rng() % (64 * width));
            const mpz_class zb = random.get_z_bits(1 + rng() % (64 * width));
            const unsigned long e = 1 + rng() % 4;
            Words a = value_of(za.get_str()), b = value_of(zb.get_str()), ew = value_of(std::to_string(e));
            Words r = buffer();
            mpz_class power, root;
            mpz_pow_ui(power.get_mpz_t(), za.get_mpz_t(), e);
            mpz_root(root.get_mpz_t(), za.get_mpz_t(), e);
            const struct {
                Op op;
                const Value* b;
                mpz_class want;
                bool overflow;
            } rows[] = {{Op::Add, b.data(), za + zb, za + zb >= limit},
                        {Op::Sub, b.data(), za - zb, za < zb},
                        {Op::Mul, b.data(), za * zb, za * zb >= limit},
                        {Op::PowInt, b.data(), power, power >= limit},
                        {Op::Pow, ew.data(), power, power >= limit},
                        {Op::Root, ew.data(), root, false},
                        {Op::Copy, b.data(), za, false}};
            for (const auto& row : rows) {
                num_ctx.error_code = 0;
                Snapshot before;
                run(row.op, r.data(), a.data(), row.b, static_cast<int64_t>(e));
                const std::string input = "op " + std::to_string(int(row.op)) + " " + za.get_str() + " " +
                                          zb.get_str() + " e=" + std::to_string(e);
                EXPECT_EQ(num_ctx.error_code, row.overflow ? kErrIntOverflow : 0u) << input;
                EXPECT_EQ(text_of(r.data()), row.overflow ? "0" : row.want.get_str()) << input;
                ASSERT_TRUE(before.same()) << input;
            }
        }
    }
}

// ---- Text and word views -----------------------------------------------------------------------------------------

TEST(ValueFormat, EachTypeUsesItsWriter) {
    const struct {
        uint32_t type;
        const char* value;
        uint32_t flags;
        const char* text;
    } rows[] = {
        {kTypeReal, "1234567.5", kFmtGroupDigits, "1'234'567.5"},
        {kTypeRational, "-6/4", 0, "-3/2"},
        {kTypeRational, "6/4", kFmtAlwaysSign, "+3/2"},
        {kTypeComplex, "3,-1", 0, "3-i"},
        {kTypeUnsigned, "1234567", kFmtGroupDigits, "1'234'567"},
        {kTypeUnsigned, "340282366920938463463374607431768211455", 0, "340282366920938463463374607431768211455"},
    };
    for (const auto& c : rows) {
        Scope scope(c.type, 1, 2);
        Words v = value_of(c.value);
        EXPECT_EQ(std::u16string(value_to_ring(v.data(), c.flags)), std::u16string(c.text, c.text + strlen(c.text)));
    }
    Scope scope(kTypeReal, 3);
    Words v = buffer();
    value_set_special(v.data(), kSpecialLargest);
    num_ctx.error_code = kErrDomain;  // a pending error marks the text
    EXPECT_EQ(std::u16string(value_to_ring(v.data(), 0)), u"!9." + std::u16string(56, u'9') + u"e+4611686018427387903");
}

TEST(ValueIntegerWord, RecognisesWordIntegers) {
    const struct {
        uint32_t type;
        const char* value;
        bool ok;
        uint64_t magnitude;
        bool negative;
    } rows[] = {
        {kTypeReal, "42", true, 42, false},
        {kTypeReal, "-42", true, 42, true},
        {kTypeReal, "4.2", false, 0, false},
        {kTypeReal, "18446744073709551615", true, 18446744073709551615ull, false},
        {kTypeReal, "18446744073709551616", false, 0, false},
        {kTypeReal, "0", true, 0, false},
        {kTypeRational, "-12", true, 12, true},
        {kTypeRational, "12/5", false, 0, false},
        {kTypeRational, "1e3", true, 1000, false},
        {kTypeComplex, "7", true, 7, false},
        {kTypeComplex, "7,1", false, 0, false},
        {kTypeUnsigned, "7", false, 0, false},
    };
    for (const auto& c : rows) {
        Scope scope(c.type, 2);
        Words v = value_of(c.value);
        uint64_t magnitude = 99;
        bool negative = false;
        Snapshot before;
        EXPECT_EQ(value_integer_word(v.data(), &magnitude, &negative), c.ok) << c.value;
        EXPECT_EQ(magnitude, c.magnitude) << c.value;
        EXPECT_EQ(negative, c.negative) << c.value;
        EXPECT_EQ(num_ctx.error_code, 0u) << c.value;
        EXPECT_TRUE(before.same());
    }
}

TEST(ValueDispatch, WordsFollowTheType) {
    const struct {
        uint32_t type;
        size_t words;
    } rows[] = {{kTypeReal, 4}, {kTypeRational, 4}, {kTypeComplex, 8}, {kTypeUnsigned, 9}};
    for (const auto& r : rows) {
        Scope scope(r.type, 3, 9);
        EXPECT_EQ(value_words(), r.words) << r.type;
    }
}

}  // namespace
