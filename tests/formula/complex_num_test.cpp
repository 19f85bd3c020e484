#include "formula/complex_num.h"

#include <gmp.h>
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_arith.h"
#include "support/decimal_oracle.h"

namespace {

using Rng = std::mt19937_64;
using Words = std::vector<uint64_t>;

struct Scope {
    explicit Scope(int limbs) {
        static const bool initialised = (init_numeric_context(), true);  // recomputes the constants: once
        (void)initialised;
        num_ctx.real_limbs = limbs;
        num_ctx.guard_limbs = num_ctx.guard_digit_reduction = 0;
        num_ctx.no_rounding = 0;
        num_ctx.error_code = 0;
    }
    ~Scope() { num_ctx.real_limbs = 1; }
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

Words real_words() {
    return Words(static_cast<size_t>(num_ctx.real_limbs) + 1);
}
Words complex_buffer() {
    return Words(static_cast<size_t>(complex_words()));
}

// Decimal text [-]digits[.digits][e[-]digits], truncated to the working precision.
void from_text(RealNum* dst, const std::string& s) {
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

Words cx(const std::string& re, const std::string& im) {
    Words z = complex_buffer();
    from_text(complex_real(z.data()), re);
    from_text(complex_imag(z.data()), im);
    return z;
}

std::string text(const ComplexNum* z) {
    char16_t buffer[400];
    const uint32_t pending = num_ctx.error_code;
    num_ctx.error_code = 0;
    const int n = complex_format(buffer, 400, z, 0);
    num_ctx.error_code = pending;
    return std::string(buffer, buffer + n);
}

std::string real_text(const RealNum* x) {
    Words z = complex_buffer();
    real_copy(z.data(), x);
    real_set_zero(complex_imag(z.data()));
    return text(z.data());
}

// ---- Exact decimal oracle: m * 10^e, each real step rounded half up to 19 L digits ----------------------------

int64_t working_digits() {
    return 19 * static_cast<int64_t>(num_ctx.real_limbs);
}
Dec add(const Dec& a, const Dec& b, int sign = 1) {
    const int64_t e = std::min(a.e, b.e);
    return Dec{a.m * pow10(a.e - e) + sign * b.m * pow10(b.e - e), e};
}
Dec mul(const Dec& a, const Dec& b) {
    return Dec{a.m * b.m, a.e + b.e};
}
// Quotient rounded half up; 2 L + 40 extra digits leave no doubt about the first dropped digit's value.
Dec RD(const Dec& a, const Dec& b) {
    Dec q{0, a.e - b.e - 2 * working_digits() - 40};
    mpz_class num = a.m * pow10(2 * working_digits() + 40);
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

void random_real(Rng& rng, RealNum* dst, int64_t emin, int64_t emax) {
    dst[1] = kLimbBase / 10 + rng() % (kLimbBase - kLimbBase / 10);
    for (int i = 1; i < num_ctx.real_limbs; ++i) dst[1 + i] = rng() % kLimbBase;
    if (rng() % 4 == 0) {  // short mantissas, as typed numbers are
        dst[1] -= dst[1] % 100000000000000ull;
        for (int i = 1; i < num_ctx.real_limbs; ++i) dst[1 + i] = 0;
    }
    real_set_exponent(dst, emin + static_cast<int64_t>(rng() % uint64_t(emax - emin + 1)), (rng() & 1) != 0);
}

// ---- Arithmetic ------------------------------------------------------------------------------------------------

enum class Op { Add, Sub, Mul, Div, Reciprocal, PowInt, Pow, MulWord, DivWord };

void run(Op op, ComplexNum* r, const ComplexNum* a, const ComplexNum* b, int64_t n) {
    switch (op) {
        case Op::Add:
            return complex_add(r, a, b);
        case Op::Sub:
            return complex_sub(r, a, b);
        case Op::Mul:
            return complex_mul(r, a, b);
        case Op::Div:
            return complex_div(r, a, b);
        case Op::Reciprocal:
            return complex_reciprocal(r, a);
        case Op::PowInt:
            return complex_pow_int(r, a, n);
        case Op::Pow:
            return complex_pow(r, a, b);
        case Op::MulWord:
            return complex_mul_word(r, a, static_cast<uint64_t>(n));
        case Op::DivWord:
            return complex_div_word(r, a, static_cast<uint64_t>(n));
    }
}

struct ArithCase {
    Op op;
    const char *a_re, *a_im, *b_re, *b_im;
    int64_t n;
    const char* want;
    uint32_t error;
};

const ArithCase kArith[] = {
    {Op::Mul, "1", "2", "3", "-1", 0, "5+5i", 0},
    {Op::Div, "5", "5", "3", "-1", 0, "1+2i", 0},
    {Op::Mul, "2", "0", "-3", "0", 0, "-6", 0},
    {Op::Div, "4", "2", "2", "0", 0, "2+i", 0},
    {Op::Div, "1", "0", "0", "1", 0, "-i", 0},
    {Op::Div, "1", "1", "0", "0", 0, "0", kErrDivByZero},
    {Op::Reciprocal, "3", "4", "", "", 0, "0.12-0.16i", 0},
    {Op::Reciprocal, "4", "0", "", "", 0, "0.25", 0},
    {Op::PowInt, "0", "2", "", "", 2, "-4", 0},
    {Op::PowInt, "1", "1", "", "", -2, "-0.5i", 0},
    {Op::PowInt, "1", "1", "", "", 8, "16", 0},
    {Op::PowInt, "1", "1", "", "", 0, "1", 0},
    {Op::Pow, "0", "2", "2", "0", 0, "-4", 0},
    {Op::Pow, "0", "2", "0.5", "0", 0, "0", kErrDomain},
    {Op::Pow, "0", "2", "2", "1", 0, "0", kErrComplexArg},
    {Op::Pow, "4", "0", "0.5", "0", 0, "2", 0},
    {Op::Pow, "-4", "0", "0.5", "0", 0, "0", kErrDomain},
    {Op::Sub, "1", "2", "3", "-2", 0, "-2+4i", 0},
    {Op::MulWord, "1.5", "-2", "", "", 4, "6-8i", 0},
    {Op::DivWord, "1", "-2", "", "", 4, "0.25-0.5i", 0},
    {Op::DivWord, "1", "0", "", "", 0, "0", kErrDivByZero},
};

TEST(ComplexArithmetic, DocumentedCases) {
    for (int limbs : {1, 3}) {
        Scope scope(limbs);
        for (const auto& c : kArith) {
            Words a = cx(c.a_re, c.a_im), b = c.b_re[0] ? cx(c.b_re, c.b_im) : complex_buffer(), r = complex_buffer();
            num_ctx.error_code = 0;
            Snapshot before;
            run(c.op, r.data(), a.data(), b.data(), c.n);
            const std::string row =
                std::to_string(int(c.op)) + " " + c.a_re + "," + c.a_im + " L" + std::to_string(limbs);
            EXPECT_EQ(num_ctx.error_code, c.error) << row;
            EXPECT_EQ(text(r.data()), c.want) << row;
            EXPECT_TRUE(before.same()) << row;
        }
    }
}

void oracle_mul(Dec* re, Dec* im, const Dec& ar, const Dec& ai, const Dec& br, const Dec& bi) {
    if (ai.m == 0 && bi.m == 0) {
        *re = R(mul(ar, br)), *im = Dec{};
    } else {
        *re = R(add(R(mul(ar, br)), R(mul(ai, bi)), -1)), *im = R(add(R(mul(ar, bi)), R(mul(ai, br))));
    }
}

void oracle_reciprocal(Dec* re, Dec* im, const Dec& ar, const Dec& ai) {
    if (ai.m == 0) {
        *re = RD(Dec{1, 0}, ar), *im = Dec{};
        return;
    }
    const Dec d = R(add(R(mul(ar, ar)), R(mul(ai, ai))));
    *re = RD(ar, d), *im = RD(ai, d);
    im->m = -im->m;
}

// The documented sequence of rounded real steps, evaluated exactly.
void oracle(Op op, Dec* re, Dec* im, const Dec& ar, const Dec& ai, const Dec& br, const Dec& bi, int64_t n) {
    const Dec w{n, 0};
    switch (op) {
        case Op::Add:
        case Op::Sub:
            *re = R(add(ar, br, op == Op::Sub ? -1 : 1)), *im = R(add(ai, bi, op == Op::Sub ? -1 : 1));
            return;
        case Op::Mul:
            return oracle_mul(re, im, ar, ai, br, bi);
        case Op::Div:
            if (bi.m == 0) {
                *re = RD(ar, br), *im = ai.m == 0 ? Dec{} : RD(ai, br);
            } else {
                const Dec d = R(add(R(mul(br, br)), R(mul(bi, bi))));
                *re = RD(R(add(R(mul(ar, br)), R(mul(ai, bi)))), d);
                *im = RD(R(add(R(mul(ai, br)), R(mul(ar, bi)), -1)), d);
            }
            return;
        case Op::Reciprocal:
            return oracle_reciprocal(re, im, ar, ai);
        case Op::PowInt: {  // complex base: binary exponentiation from the least significant bit
            Dec pr = ar, pi = ai, rr, ri;
            bool first = true;
            for (uint64_t m = n < 0 ? uint64_t(-n) : uint64_t(n); m != 0;) {
                if (m & 1) {
                    if (first)
                        rr = pr, ri = pi, first = false;
                    else
                        oracle_mul(&rr, &ri, Dec(rr), Dec(ri), pr, pi);
                }
                if ((m >>= 1) != 0) oracle_mul(&pr, &pi, Dec(pr), Dec(pi), Dec(pr), Dec(pi));
            }
            if (n < 0) return oracle_reciprocal(re, im, rr, ri);
            *re = rr, *im = ri;
            return;
        }
        case Op::MulWord:
            *re = R(mul(ar, w)), *im = R(mul(ai, w));
            return;
        case Op::DivWord:
            *re = RD(ar, w), *im = ai.m == 0 ? Dec{} : RD(ai, w);
            return;
        default:
            return;
    }
}

// Random operands against the exact transcription; the result overwrites the first operand.
TEST(ComplexArithmetic, MatchesExactRoundedSteps) {
    Rng rng(0xC0FFEE01);
    const Op ops[] = {Op::Add, Op::Sub, Op::Mul, Op::Div, Op::Reciprocal, Op::PowInt, Op::MulWord, Op::DivWord};
    for (int limbs : {1, 2, 4}) {
        Scope scope(limbs);
        for (int iter = 0; iter < 300; ++iter) {
            for (Op op : ops) {
                Words a = complex_buffer(), b = complex_buffer();
                for (ComplexNum* z : {a.data(), b.data()}) {
                    random_real(rng, complex_real(z), -8, 8);
                    random_real(rng, complex_imag(z), -8, 8);
                    if (rng() % 6 == 0) real_set_zero(complex_imag(z));
                }
                if (op == Op::PowInt && real_is_zero(complex_imag(a.data()))) real_set_one(complex_imag(a.data()));
                int64_t n = 1 + static_cast<int64_t>(rng() % 1000000007);
                if (op == Op::PowInt) n = static_cast<int64_t>(rng() % 15) - 7;
                if (n == 0) n = 2;
                Dec re, im;
                oracle(op, &re, &im, dec(a.data()), dec(complex_imag(a.data())), dec(b.data()),
                       dec(complex_imag(b.data())), n);
                const std::string row = std::to_string(int(op)) + " L" + std::to_string(limbs) +
                                        " n=" + std::to_string(n) + " a=" + text(a.data()) + " b=" + text(b.data());
                num_ctx.error_code = 0;
                Snapshot before;
                run(op, a.data(), a.data(), b.data(), n);
                ASSERT_EQ(num_ctx.error_code, 0u) << row;
                ASSERT_TRUE(same(dec(a.data()), re)) << row << " got " << text(a.data()) << " want re " << str(re);
                ASSERT_TRUE(same(dec(complex_imag(a.data())), im)) << row << " want im " << str(im);
                ASSERT_TRUE(before.same()) << row;
            }
        }
    }
}

// ---- Root branches ---------------------------------------------------------------------------------------------

struct RootCase {
    const char *re, *im;
    int64_t n, k;
    const char* want;  // at L = 1
    uint32_t error;
};

const RootCase kRoots[] = {
    {"-8", "0", 3, 0, "1+1.732050807568877294i", 0},
    {"-8", "0", 3, 1, "-2", 0},
    {"-8", "0", 3, 2, "1-1.732050807568877294i", 0},
    {"-1", "0", 2, 0, "i", 0},  // exact quarter turns: no rounding residue in the zero part
    {"-1", "0", 2, 1, "-i", 0},
    {"16", "0", 4, 1, "2i", 0},
    {"16", "0", 4, 2, "-2", 0},
    {"16", "0", -4, 1, "-0.5i", 0},
    {"0", "-27", 3, 0, "2.59807621135331594-1.5i", 0},
    {"0", "-27", 3, 1, "3i", 0},
    {"0", "-27", -3, 1, "-0.3333333333333333333i", 0},
    {"0", "0", 5, 2, "0", 0},
    {"0", "0", -5, 2, "0", kErrDomain},
    {"2", "1", 0, 0, "0", kErrDomain},
    {"2", "1", 3, 3, "0", kErrDomain},
    {"2", "1", 3, -1, "0", kErrDomain},
    {"2", "1", (int64_t{1} << 61) + 1, 0, "0", kErrDomain},
    {"2", "1", INT64_MIN, 0, "0", kErrDomain},
};

TEST(ComplexRootBranch, DocumentedBranches) {
    Scope scope(1);
    for (const auto& c : kRoots) {
        Words z = cx(c.re, c.im), r = complex_buffer();
        num_ctx.error_code = 0;
        Snapshot before;
        complex_root_branch(r.data(), z.data(), c.n, c.k);
        const std::string row =
            std::string(c.re) + "+" + c.im + "i n=" + std::to_string(c.n) + " k=" + std::to_string(c.k);
        EXPECT_EQ(num_ctx.error_code, c.error) << row;
        EXPECT_EQ(text(r.data()), c.want) << row;
        EXPECT_TRUE(before.same()) << row;
    }
}

// |z|^(1/n) (cos phi +- i sin phi), phi = (atan2(im, re) + 2 pi k) / |n|, errors in units of |result| 10^(1 - 19 L).
TEST(ComplexRootBranch, RandomBranchesMatchMpfr) {
    Rng rng(0xC0FFEE03);
    for (int limbs : {1, 2, 5}) {
        Scope scope(limbs);
        const mpfr_prec_t bits = 4 * (19 * limbs + 60);
        for (int iter = 0; iter < 120; ++iter) {
            Words z = complex_buffer(), r = complex_buffer();
            random_real(rng, complex_real(z.data()), -8, 8);
            random_real(rng, complex_imag(z.data()), -8, 8);
            if (iter % 7 == 0) real_set_zero(complex_imag(z.data()));
            const int64_t orders[] = {1, 2, 3, 4, 5, 7, 12, 1000000};
            const int64_t n = orders[rng() % 8] * (rng() & 1 ? -1 : 1), order = n < 0 ? -n : n;
            const int64_t k = static_cast<int64_t>(rng() % uint64_t(std::min<int64_t>(order, 50)));
            num_ctx.error_code = 0;
            Snapshot before;
            complex_root_branch(r.data(), z.data(), n, k);
            mpfr_t x, y, mod, phi, t, re, im;
            mpfr_inits2(bits, x, y, mod, phi, t, re, im, static_cast<mpfr_ptr>(nullptr));
            mpfr_set_str(x, str(dec(z.data())).c_str(), 10, MPFR_RNDN);
            mpfr_set_str(y, str(dec(complex_imag(z.data()))).c_str(), 10, MPFR_RNDN);
            mpfr_hypot(mod, x, y, MPFR_RNDN);
            mpfr_atan2(phi, y, x, MPFR_RNDN);
            mpfr_const_pi(t, MPFR_RNDN);
            mpfr_mul_si(t, t, 2 * k, MPFR_RNDN);
            mpfr_add(phi, phi, t, MPFR_RNDN);
            mpfr_div_si(phi, phi, n, MPFR_RNDN);  // the sign of n flips the sine
            mpfr_sin_cos(im, re, phi, MPFR_RNDN);
            mpfr_rootn_ui(mod, mod, static_cast<unsigned long>(order), MPFR_RNDN);
            if (n < 0) mpfr_ui_div(mod, 1, mod, MPFR_RNDN);
            const std::string row = "z=" + text(z.data()) + " n=" + std::to_string(n) + " k=" + std::to_string(k) +
                                    " L" + std::to_string(limbs) + " got " + text(r.data());
            for (int part = 0; part < 2; ++part) {
                mpfr_mul(t, part == 0 ? re : im, mod, MPFR_RNDN);
                mpfr_set_str(x, str(dec(part == 0 ? r.data() : complex_imag(r.data()))).c_str(), 10, MPFR_RNDN);
                mpfr_sub(x, x, t, MPFR_RNDN);
                mpfr_div(x, x, mod, MPFR_RNDN);
                mpfr_ui_pow_ui(y, 10, static_cast<unsigned long>(19 * limbs - 1), MPFR_RNDN);
                mpfr_mul(x, x, y, MPFR_RNDN);
                EXPECT_LE(std::abs(mpfr_get_d(x, MPFR_RNDN)), 1.0) << row << " part " << part;
            }
            ASSERT_EQ(num_ctx.error_code, 0u) << row;
            ASSERT_TRUE(before.same()) << row;
            mpfr_clears(x, y, mod, phi, t, re, im, static_cast<mpfr_ptr>(nullptr));
        }
    }
}

// Inside a guard the caller opened, the work runs at that precision and leaves the guard to its owner.
TEST(ComplexRootBranch, ActiveGuardIsLeftToItsOwner) {
    Scope scope(2);
    begin_guard(2);
    Words z = cx("-8", "0"), r = complex_buffer();
    complex_root_branch(r.data(), z.data(), 3, 1);
    EXPECT_EQ(num_ctx.error_code, 0u);
    EXPECT_EQ(num_ctx.real_limbs, 3);
    EXPECT_EQ(num_ctx.guard_digit_reduction, 17u);
    EXPECT_EQ(text(r.data()), "-2");
    end_guard();
}

// ---- Real rounding helpers -------------------------------------------------------------------------------------

enum class Rnd { Digits, Decimals, Trunc };

struct RoundCase {
    Rnd op;
    const char* x;
    int64_t n;
    const char* want;
    uint32_t error;
};

const RoundCase kRounding[] = {
    {Rnd::Digits, "1.235", 3, "1.24", 0},
    {Rnd::Digits, "-1.235", 3, "-1.24", 0},
    {Rnd::Digits, "9.995", 3, "10", 0},
    {Rnd::Digits, "9.9949", 3, "9.99", 0},
    {Rnd::Digits, "0.5", 0, "1", 0},
    {Rnd::Digits, "0.4", 0, "0", 0},
    {Rnd::Digits, "567", 0, "1000", 0},
    {Rnd::Digits, "1.5", -1, "0", kErrDomain},
    {Rnd::Digits, "1234567890123456789", 18, "1234567890123456790", 0},
    {Rnd::Digits, "12345678901234567895123456789012345678", 19, "1.23456789012345679e37", 0},
    {Rnd::Digits, "12345678901234567894999999999999999999", 19, "1.234567890123456789e37", 0},
    {Rnd::Digits, "99999999999999999995", 19, "1e20", 0},
    {Rnd::Digits, "3.14159", 1000, "3.14159", 0},
    {Rnd::Decimals, "0.004", 2, "0", 0},
    {Rnd::Decimals, "0.005", 2, "0.01", 0},
    {Rnd::Decimals, "-0.005", 2, "-0.01", 0},
    {Rnd::Decimals, "-0.0004", 2, "-0", 0},
    {Rnd::Decimals, "123.456", 1, "123.5", 0},
    {Rnd::Decimals, "0.999", 2, "1", 0},
    {Rnd::Decimals, "7.25", INT64_MAX, "7.25", 0},
    {Rnd::Decimals, "123.456", -1, "0", kErrDomain},
    {Rnd::Trunc, "-2.7", 0, "-2", 0},
    {Rnd::Trunc, "-0.9", 0, "-0", 0},
    {Rnd::Trunc, "123456789.987654321", 0, "123456789", 0},
    {Rnd::Trunc, "12345678901234567890.5", 0, "12345678901234567890", 0},
    {Rnd::Trunc, "1e25", 0, "1e25", 0},
};

TEST(RealRounding, DocumentedCases) {
    Scope scope(2);
    for (const auto& c : kRounding) {
        Words x = real_words(), r = real_words(), want = real_words();
        from_text(x.data(), c.x);
        from_text(want.data(), c.want);
        num_ctx.error_code = 0;
        if (c.op == Rnd::Digits) real_round_digits(r.data(), x.data(), c.n);
        if (c.op == Rnd::Decimals) real_round_decimals(r.data(), x.data(), c.n);
        if (c.op == Rnd::Trunc) real_trunc(r.data(), x.data());
        EXPECT_EQ(num_ctx.error_code, c.error) << c.x << " " << c.n;
        EXPECT_TRUE(same(dec(r.data()), dec(want.data()))) << c.x << " " << c.n << " got " << real_text(r.data());
        EXPECT_EQ(real_is_negative(r.data()), c.want[0] == '-') << c.x << " " << c.n;
    }
    Words x = real_words(), r = real_words();
    from_text(x.data(), "1.999");
    num_ctx.no_rounding = 1;
    real_round_digits(r.data(), x.data(), 2);
    EXPECT_EQ(real_text(r.data()), "1.9");
}

// Rounding to s digits decides on the first dropped digit, with carries through runs of nines across limbs.
TEST(RealRounding, RoundDigitsMatchesOracle) {
    Rng rng(0xC0FFEE04);
    for (int limbs : {1, 3}) {
        Scope scope(limbs);
        for (int iter = 0; iter < 2000; ++iter) {
            Words x = real_words(), r = real_words();
            random_real(rng, x.data(), -30, 30);
            if (rng() % 3 == 0) {
                for (int i = 0; i < limbs; ++i) x[1 + size_t(i)] = kLimbBase - 1 - rng() % 3;
            }
            const int64_t s = static_cast<int64_t>(rng() % uint64_t(19 * limbs + 2));
            real_round_digits(r.data(), x.data(), s);
            ASSERT_TRUE(same(dec(r.data()), round_to(dec(x.data()), s))) << str(dec(x.data())) << " s=" << s;
        }
    }
}

TEST(RealRounding, FromRatio) {
    Scope scope(1);
    const struct {
        int64_t num, den;
        const char* want;
        uint32_t error;
    } rows[] = {{1, 3, "0.3333333333333333333", 0},
                {2, 3, "0.6666666666666666667", 0},
                {-2, 3, "-0.6666666666666666667", 0},
                {INT64_MIN, 7, "-1317624576693539401", 0},
                {INT64_MAX, 1, "9223372036854775807", 0},
                {1, 0, "0", kErrDomain},
                {1, -3, "0", kErrDomain}};
    for (const auto& c : rows) {
        Words r = real_words(), want = real_words();
        from_text(want.data(), c.want);
        num_ctx.error_code = 0;
        real_from_ratio(r.data(), c.num, c.den);
        EXPECT_EQ(num_ctx.error_code, c.error) << c.num << "/" << c.den;
        EXPECT_TRUE(same(dec(r.data()), dec(want.data()))) << c.num << "/" << c.den << " got " << real_text(r.data());
    }
}

// ---- Shape: resize, trunc, digits ------------------------------------------------------------------------------

TEST(ComplexShape, ResizeTruncAndRoundDigits) {
    Scope scope(2);
    Words z = cx("1.234567890123456789512", "-9.999999999999999999999");
    num_ctx.real_limbs = 1;
    complex_resize(z.data(), 2);  // narrowing rounds each part on its first dropped limb
    EXPECT_EQ(text(z.data()), "1.23456789012345679-10i");
    Words wide(8);
    std::copy(z.begin(), z.begin() + 4, wide.begin());
    num_ctx.real_limbs = 3;
    complex_resize(wide.data(), 1);  // widening moves the imaginary part and zero-fills
    EXPECT_EQ(text(wide.data()), "1.23456789012345679-10i");
    EXPECT_EQ(wide[2], 0u);
    EXPECT_EQ(wide[3], 0u);

    num_ctx.real_limbs = 1;
    Words a = cx("-2.7", "3.2"), r = complex_buffer();
    complex_trunc(r.data(), a.data());
    EXPECT_EQ(text(r.data()), "-2+3i");
    a = cx("1.2345", "9.9999");
    complex_round_digits(r.data(), a.data(), 3);
    EXPECT_EQ(text(r.data()), "1.23+10i");
    complex_round_digits(r.data(), a.data(), -1);
    EXPECT_EQ(num_ctx.error_code, kErrDomain);
    EXPECT_EQ(text(r.data()), "0");
}

}  // namespace
