// Typed values: the dispatch of every operation by number type as one table, and each type against its oracle
// (exact rounded decimals and MPFR for real, mpq for rat, mpz for uint).
#include "formula/value.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

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

void run(Op op, Value* r, const Value* a, const Value* b, int64_t n) {
    kOps[static_cast<int>(op)](r, a, b, n);
}

// At L = 1 (uint: 2 limbs); want is value_format of the result. The real and rational arithmetic and the real
// functions are covered against their oracles below; these rows pin each dispatch path once.
TEST(ValueDispatch, DocumentedCases) {
    constexpr uint32_t R = kTypeReal, Q = kTypeRational, C = kTypeComplex, U = kTypeUnsigned;
    constexpr uint32_t kDom = kErrDomain, kDiv = kErrDivByZero, kCpx = kErrComplexArg;
    const std::string big = "9.999999999999999999e+4611686018427387903", root2 = "1.414213562373095049";
    // clang-format off
    const struct { uint32_t type; Op op; const char *a, *b; int64_t n; std::string want; uint32_t error; } rows[] = {
        {R, Op::Div, "1", "0", 0, "0", kDiv},                   {R, Op::Pow, "2", "0.5", 0, root2, 0},
        {R, Op::PowInt, "3", "", -1, "0.3333333333333333333", 0}, {R, Op::Root, "8", "3", 0, "2", 0},
        {R, Op::PowInt, "2", "", 64, "1.844674407370955162e+19", 0},
        {R, Op::Fn, "-4", "", kFuncSqrt, "0", kDom},            {R, Op::Fn, "-2.5", "", kFuncAbs, "2.5", 0},
        {R, Op::Fn, "2.5", "", 213, "0", kDom},                 {R, Op::Negate, "2.5", "", 0, "-2.5", 0},
        {R, Op::SetInt, "", "", -42, "-42", 0},                 {R, Op::Digits, "-9.9996", "", 4, "-10", 0},
        {R, Op::Digits, "1.5", "", -1, "0", kDom},              {R, Op::Special, "", "", 1, "0", 0},
        {R, Op::Special, "", "", kSpecialPi, "3.141592653589793238", 0},
        {R, Op::Special, "", "", kSpecialImaginaryUnit, "0", kDom}, {R, Op::Special, "", "", 7, "0", kDom},
        {R, Op::Special, "", "", kSpecialSmallest, "1e-4611686018427387903", 0},
        {R, Op::Special, "", "", kSpecialLargest, big, 0},      {Q, Op::Special, "", "", 0, "0", 0},
        {Q, Op::Special, "", "", kSpecialSmallestRational, "1/4294967295", 0},
        {Q, Op::Special, "", "", kSpecialLargestRational, "4294967295", 0},
        {Q, Op::Special, "", "", kSpecialPi, "3.141592653589793238", 0},
        {Q, Op::Special, "", "", kSpecialImaginaryUnit, "0", kDom},
        {C, Op::Special, "", "", kSpecialImaginaryUnit, "i", 0},
        {C, Op::Special, "", "", kSpecialLargest, big, 0},      {C, Op::Special, "", "", 55, "0", kDom},
        // Rational: exact first, else the real operation of the real type.
        {Q, Op::Pow, "4/9", "3/2", 0, "8/27", 0},               {Q, Op::Pow, "2", "1/2", 0, root2, 0},
        {Q, Op::Pow, "-8", "1/3", 0, "0", kDom},                {Q, Op::Root, "27/8", "3", 0, "3/2", 0},
        {Q, Op::Div, "1", "0", 0, "0", kDiv},                   {Q, Op::Fn, "4/9", "", kFuncSqrt, "2/3", 0},
        {Q, Op::Fn, "2", "", kFuncSqrt, root2, 0},              {Q, Op::Fn, "-8", "", kFuncCbrt, "-2", 0},
        {Q, Op::Fn, "1/8", "", kFuncLog2, "-3", 0},             {Q, Op::Fn, "1000", "", kFuncLog10, "3", 0},
        {Q, Op::Fn, "12", "", kFuncFactorial, "479001600", 0},  {Q, Op::Fn, "-3/4", "", kFuncAbs, "3/4", 0},
        {Q, Op::Fn, "13", "", kFuncFactorial, "6227020800", 0},  // over 32 bits: a real
        {Q, Op::Mul, "4000000007/3", "4000000009/7", 0, "7.619047649523809554e+17", 0},
        {Q, Op::Digits, "2/3", "", 3, "2/3", 0},                {Q, Op::Digits, "2.71828", "", 3, "2.72", 0},
        {Q, Op::SetInt, "", "", -7, "-7", 0},
        // Complex: functions of the real part only.
        {C, Op::Mul, "1,2", "3,-1", 0, "5+5i", 0},              {C, Op::Div, "5,5", "3,-1", 0, "1+2i", 0},
        {C, Op::Add, "1,2", "3,-1", 0, "4+i", 0},               {C, Op::Sub, "1,2", "1,3", 0, "-i", 0},
        {C, Op::Fn, "-4", "", kFuncSqrt, "0", kCpx},            {C, Op::Fn, "0,1", "", kFuncSqrt, "0", kCpx},
        {C, Op::Fn, "0", "", kFuncLn, "0", kCpx},               {C, Op::Fn, "5", "", kFuncFactorial, "120", 0},
        {C, Op::Fn, "3,-4", "", kFuncAbs, "5", 0},              {C, Op::Abs, "3,-4", "", 0, "5", 0},
        {C, Op::Pow, "0,2", "2", 0, "-4", 0},                   {C, Op::Pow, "0,2", "0.5", 0, "0", kDom},
        {C, Op::PowInt, "0,2", "", 2, "-4", 0},                 {C, Op::Root, "8", "3", 0, "2", 0},
        {C, Op::Root, "8,1", "3", 0, "0", kCpx},                {C, Op::Root, "8", "3,1", 0, "0", kCpx},
        {C, Op::Negate, "1,-2", "", 0, "-1+2i", 0},             {C, Op::MulWord, "1,-2", "", 2, "2-4i", 0},
        {C, Op::DivWord, "1,-2", "", 2, "0.5-i", 0},            {C, Op::Digits, "1.25,-3.35", "", 2, "1.3-3.4i", 0},
        {C, Op::Digits, "1.25,-3.35", "", -2, "0", kDom},       {C, Op::SetInt, "", "", -3, "-3", 0},
        {U, Op::SetInt, "", "", 1234567, "1234567", 0},         {U, Op::SetInt, "", "", -1, "0", kDom},
        {U, Op::PowInt, "2", "", 127, "170141183460469231731687303715884105728", 0},
        {U, Op::PowInt, "2", "", 128, "0", kErrIntOverflow},
    };
    // clang-format on
    for (const auto& c : rows) {
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
// destination untouched; value_words follows the type.
TEST(ValueDispatch, ErrorThreeLeavesTheDestination) {
    const Op uint_undefined[] = {Op::Special, Op::Abs,     Op::Negate, Op::MulWord,
                                 Op::Div,     Op::DivWord, Op::Fn,     Op::Digits};
    for (uint32_t type : {0u, 4u, 11u, uint32_t{kTypeUnsigned}}) {
        Scope scope(type, 2, 3);
        for (int i = 0; i < static_cast<int>(std::size(kOps)); ++i) {
            const Op op = static_cast<Op>(i);
            if (type == kTypeUnsigned && std::count(std::begin(uint_undefined), std::end(uint_undefined), op) == 0)
                continue;
            Words a = buffer(), b = buffer(), r = buffer();
            a[1] = b[1] = kLimbBase / 10;
            std::fill(r.begin(), r.end(), 0x5A5Aull);
            num_ctx.error_code = 0;
            Snapshot before;
            run(op, r.data(), a.data(), b.data(), kFuncSqrt);
            EXPECT_EQ(num_ctx.error_code, kErrNumberType) << type << " op " << i;
            EXPECT_EQ(std::count(r.begin(), r.end(), 0x5A5Aull), static_cast<long>(r.size())) << type << " op " << i;
            EXPECT_TRUE(before.same());
        }
        Words a = buffer();
        num_ctx.error_code = 0;
        EXPECT_EQ(value_exponent(a.data()), 0);
        EXPECT_FALSE(value_is_decimal(a.data()));
        EXPECT_EQ(num_ctx.error_code, kErrNumberType);
        EXPECT_EQ(value_words(), type == kTypeUnsigned ? 3u : 0u);
        if (type == kTypeUnsigned) continue;
        num_ctx.error_code = 0;
        EXPECT_EQ(value_compare_int(a.data(), 1), 0);
        char16_t text[8];
        EXPECT_EQ(value_format(text, 8, a.data(), 0), 0);
        EXPECT_EQ(num_ctx.error_code, kErrNumberType);
    }
    for (uint32_t type : {kTypeReal, kTypeRational, kTypeComplex}) {
        Scope scope(type, 3, 9);
        EXPECT_EQ(value_words(), type == kTypeComplex ? 8u : 4u) << type;
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
            const struct {
                Op op;
                Dec want;
            } rows[] = {{Op::Add, R(dec_add(da, db))}, {Op::Sub, R(dec_add(da, db, -1))}, {Op::Mul, R(dec_mul(da, db))},
                        {Op::Div, RD(da, db)},         {Op::MulWord, R(dec_mul(da, dw))}, {Op::DivWord, RD(da, dw)}};
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
                const mpz_class off = abs(dec_add(dec(r.data()), want, -1).m);
                EXPECT_TRUE(off <= 1) << f.code << " x=" << str(dec(a.data())) << " L" << limbs << " got "
                                      << str(dec(r.data()));
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

// ---- Rational and unsigned against GMP ---------------------------------------------------------------------------

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

// ---- Queries, text and word views --------------------------------------------------------------------------------

// value_exponent: a zero, an exact fraction or a complex value with zero real part raise 14 and give 0.
// value_compare_int: cplx compares the real part and is above every word when the imaginary part is nonzero.
TEST(ValueQueries, ExponentComparisonAndDecimalForm) {
    // clang-format off
    const struct { uint32_t type; const char* value; int64_t w, exponent; int compare; bool decimal; } rows[] = {
        {kTypeRational, "3/4", 0, 0, 1, false},     {kTypeRational, "-1234.5", -1235, 3, 1, true},
        {kTypeComplex, "250,1", 1000, 2, 1, true},  {kTypeComplex, "250", 1000, 2, -1, true},
        {kTypeComplex, "250", 250, 2, 0, true},     {kTypeComplex, "0,5", 1, 0, 1, true},
        {kTypeReal, "-0.05", 0, -2, -1, true},
    };
    // clang-format on
    for (const auto& c : rows) {
        Scope scope(c.type, 2);
        Words v = value_of(c.value);
        EXPECT_EQ(value_compare_int(v.data(), c.w), c.compare) << c.value;
        EXPECT_EQ(value_is_decimal(v.data()), c.decimal) << c.value;
        EXPECT_EQ(num_ctx.error_code, 0u) << c.value;
        EXPECT_EQ(value_exponent(v.data()), c.exponent) << c.value;
        EXPECT_EQ(num_ctx.error_code, c.exponent == 0 ? kErrDomain : 0u) << c.value;
    }
}

TEST(ValueFormat, EachTypeUsesItsWriter) {
    // clang-format off
    const struct { uint32_t type; const char* value; uint32_t flags; const char* text; } rows[] = {
        {kTypeReal, "1234567.5", kFmtGroupDigits, "1'234'567.5"},   {kTypeRational, "-6/4", 0, "-3/2"},
        {kTypeRational, "6/4", kFmtAlwaysSign, "+3/2"},             {kTypeComplex, "3,-1", 0, "3-i"},
        {kTypeUnsigned, "1234567", kFmtGroupDigits, "1'234'567"},
        {kTypeUnsigned, "340282366920938463463374607431768211455", 0, "340282366920938463463374607431768211455"},
    };
    // clang-format on
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
    // clang-format off
    const struct { uint32_t type; const char* value; bool ok; uint64_t magnitude; bool negative; } rows[] = {
        {kTypeReal, "42", true, 42, false},         {kTypeReal, "-42", true, 42, true},
        {kTypeReal, "4.2", false, 0, false},        {kTypeReal, "0", true, 0, false},
        {kTypeReal, "18446744073709551615", true, 18446744073709551615ull, false},
        {kTypeReal, "18446744073709551616", false, 0, false},
        {kTypeRational, "-12", true, 12, true},     {kTypeRational, "12/5", false, 0, false},
        {kTypeRational, "1e3", true, 1000, false},  {kTypeComplex, "7", true, 7, false},
        {kTypeComplex, "7,1", false, 0, false},     {kTypeUnsigned, "7", false, 0, false},
    };
    // clang-format on
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

}  // namespace
