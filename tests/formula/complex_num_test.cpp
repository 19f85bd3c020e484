// ComplexNum arithmetic, root branches and the real rounding helpers: random operands against an exact
// transcription of the rounded real steps and against MPFR, and documented cases as tables. The general power and
// the errors of the arithmetic are rows of the typed-value dispatch table.
#include "formula/complex_num.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_arith.h"
#include "support/decimal_oracle.h"

namespace {

Words complex_buffer() {
    return Words(static_cast<size_t>(complex_words()));
}

Words cx(const std::string& re, const std::string& im) {
    Words z = complex_buffer();
    real_from_decimal(complex_real(z.data()), re);
    real_from_decimal(complex_imag(z.data()), im);
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

// ---- Arithmetic ------------------------------------------------------------------------------------------------

enum class Op { Add, Sub, Mul, Div, Reciprocal, PowInt, MulWord, DivWord };

using OpFn = void (*)(ComplexNum* r, const ComplexNum* a, const ComplexNum* b, int64_t n);
const OpFn kOps[] = {
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum* b, int64_t) { complex_add(r, a, b); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum* b, int64_t) { complex_sub(r, a, b); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum* b, int64_t) { complex_mul(r, a, b); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum* b, int64_t) { complex_div(r, a, b); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum*, int64_t) { complex_reciprocal(r, a); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum*, int64_t n) { complex_pow_int(r, a, n); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum*, int64_t n) { complex_mul_word(r, a, uint64_t(n)); },
    [](ComplexNum* r, const ComplexNum* a, const ComplexNum*, int64_t n) { complex_div_word(r, a, uint64_t(n)); },
};

void oracle_mul(Dec* re, Dec* im, const Dec& ar, const Dec& ai, const Dec& br, const Dec& bi) {
    if (ai.m == 0 && bi.m == 0) {
        *re = R(dec_mul(ar, br)), *im = Dec{};
    } else {
        *re = R(dec_add(R(dec_mul(ar, br)), R(dec_mul(ai, bi)), -1));
        *im = R(dec_add(R(dec_mul(ar, bi)), R(dec_mul(ai, br))));
    }
}

// (ar + i ai) / (br + i bi) with d = br^2 + bi^2; the reciprocal is 1 / (ar + i ai).
void oracle_div(Dec* re, Dec* im, const Dec& ar, const Dec& ai, const Dec& br, const Dec& bi) {
    if (bi.m == 0) {
        *re = RD(ar, br), *im = ai.m == 0 ? Dec{} : RD(ai, br);
        return;
    }
    const Dec d = R(dec_add(R(dec_mul(br, br)), R(dec_mul(bi, bi))));
    *re = RD(R(dec_add(R(dec_mul(ar, br)), R(dec_mul(ai, bi)))), d);
    *im = RD(R(dec_add(R(dec_mul(ai, br)), R(dec_mul(ar, bi)), -1)), d);
}

// The documented sequence of rounded real steps, evaluated exactly.
void oracle(Op op, Dec* re, Dec* im, const Dec& ar, const Dec& ai, const Dec& br, const Dec& bi, int64_t n) {
    const Dec w{n, 0}, one{1, 0};
    if (op == Op::Add || op == Op::Sub) {
        *re = R(dec_add(ar, br, op == Op::Sub ? -1 : 1)), *im = R(dec_add(ai, bi, op == Op::Sub ? -1 : 1));
    } else if (op == Op::Mul) {
        oracle_mul(re, im, ar, ai, br, bi);
    } else if (op == Op::Div) {
        oracle_div(re, im, ar, ai, br, bi);
    } else if (op == Op::Reciprocal) {
        oracle_div(re, im, one, Dec{}, ar, ai);
    } else if (op == Op::PowInt) {  // complex base: binary exponentiation from the least significant bit
        Dec pr = ar, pi = ai, rr, ri;
        bool first = true;
        for (uint64_t m = n < 0 ? uint64_t(-n) : uint64_t(n); m != 0;) {
            if ((m & 1) && first)
                rr = pr, ri = pi, first = false;
            else if (m & 1)
                oracle_mul(&rr, &ri, Dec(rr), Dec(ri), pr, pi);
            if ((m >>= 1) != 0) oracle_mul(&pr, &pi, Dec(pr), Dec(pi), Dec(pr), Dec(pi));
        }
        if (n < 0) return oracle_div(re, im, one, Dec{}, rr, ri);
        *re = rr, *im = ri;
    } else if (op == Op::MulWord) {
        *re = R(dec_mul(ar, w)), *im = R(dec_mul(ai, w));
    } else if (op == Op::DivWord) {
        *re = RD(ar, w), *im = ai.m == 0 ? Dec{} : RD(ai, w);
    }
}

// Random operands against the exact transcription; the result overwrites the first operand.
TEST(ComplexArithmetic, MatchesExactRoundedSteps) {
    Rng rng(0xC0FFEE01);
    const Op ops[] = {Op::Add, Op::Sub, Op::Mul, Op::Div, Op::Reciprocal, Op::PowInt, Op::MulWord, Op::DivWord};
    for (int limbs : {1, 2, 4}) {
        Scope scope(kTypeComplex, limbs);
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
                kOps[static_cast<int>(op)](a.data(), a.data(), b.data(), n);
                ASSERT_EQ(num_ctx.error_code, 0u) << row;
                ASSERT_TRUE(same(dec(a.data()), re)) << row << " got " << text(a.data()) << " want re " << str(re);
                ASSERT_TRUE(same(dec(complex_imag(a.data())), im)) << row << " want im " << str(im);
                ASSERT_TRUE(before.same()) << row;
            }
        }
    }
}

// ---- Root branches ---------------------------------------------------------------------------------------------

// At L = 1. Quarter turns are exact: no rounding residue in the zero part.
TEST(ComplexRootBranch, DocumentedBranches) {
    // clang-format off
    const struct { const char *re, *im; int64_t n, k; const char* want; uint32_t error; } rows[] = {
        {"-8", "0", 3, 1, "-2", 0}, {"-1", "0", 2, 1, "-i", 0}, {"16", "0", 4, 1, "2i", 0}, {"0", "-27", 3, 1, "3i", 0},
        {"16", "0", -4, 1, "-0.5i", 0}, {"0", "-27", 3, 0, "2.59807621135331594-1.5i", 0},
        {"0", "-27", -3, 1, "-0.3333333333333333333i", 0}, {"0", "0", 5, 2, "0", 0},
        {"0", "0", -5, 2, "0", kErrDomain}, {"2", "1", 0, 0, "0", kErrDomain}, {"2", "1", 3, 3, "0", kErrDomain},
        {"2", "1", 3, -1, "0", kErrDomain}, {"2", "1", (int64_t{1} << 61) + 1, 0, "0", kErrDomain},
        {"2", "1", INT64_MIN, 0, "0", kErrDomain},
    };
    // clang-format on
    Scope scope(kTypeComplex, 1);
    for (const auto& c : rows) {
        Words z = cx(c.re, c.im), r = complex_buffer();
        num_ctx.error_code = 0;
        Snapshot before;
        complex_root_branch(r.data(), z.data(), c.n, c.k);
        const std::string row =
            std::string(c.re) + "," + c.im + " n=" + std::to_string(c.n) + " k=" + std::to_string(c.k);
        EXPECT_EQ(num_ctx.error_code, c.error) << row;
        EXPECT_EQ(text(r.data()), c.want) << row;
        EXPECT_TRUE(before.same()) << row;
    }
}

// |z|^(1/n) (cos phi +- i sin phi), phi = (atan2(im, re) + 2 pi k) / |n|, errors in units of |result| 10^(1 - 19 L).
TEST(ComplexRootBranch, RandomBranchesMatchMpfr) {
    Rng rng(0xC0FFEE03);
    for (int limbs : {1, 2, 5}) {
        Scope scope(kTypeComplex, limbs);
        const mpfr_prec_t bits = 4 * (19 * limbs + 60);
        for (int iter = 0; iter < 80; ++iter) {
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
            const auto set = [](mpfr_t v, const RealNum* part) {
                mpfr_set_str(v, str(dec(part)).c_str(), 10, MPFR_RNDN);
            };
            set(x, complex_real(z.data()));
            set(y, complex_imag(z.data()));
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
            for (int part = 0; part < 2; ++part) {  // (got - want) / |result| * 10^(19 L - 1)
                mpfr_mul(t, part == 0 ? re : im, mod, MPFR_RNDN);
                set(x, part == 0 ? complex_real(r.data()) : complex_imag(r.data()));
                mpfr_sub(x, x, t, MPFR_RNDN);
                mpfr_div(x, x, mod, MPFR_RNDN);
                mpfr_mul_z(x, x, pow10(19 * limbs - 1).get_mpz_t(), MPFR_RNDN);
                EXPECT_LE(std::abs(mpfr_get_d(x, MPFR_RNDN)), 1.0) << row << " part " << part;
            }
            ASSERT_EQ(num_ctx.error_code, 0u) << row;
            ASSERT_TRUE(before.same()) << row;
            mpfr_clears(x, y, mod, phi, t, re, im, static_cast<mpfr_ptr>(nullptr));
        }
    }
}

// ---- Real rounding helpers -------------------------------------------------------------------------------------

// Digits: n significant digits (the typed-value tests compare the rest with an oracle; NoRounding: with no_rounding
// set, which truncates); Decimals: n digits after the point; Trunc: toward zero; Ratio: x / n, x a word.
enum Rnd { Digits, NoRounding, Decimals, Trunc, Ratio };

TEST(RealRounding, DocumentedCases) {
    // clang-format off
    const struct { Rnd op; const char* x; int64_t n; const char* want; uint32_t error; } rows[] = {
        {Digits, "3.14159", 1000, "3.14159", 0}, {NoRounding, "1.999", 2, "1.9", 0}, {Decimals, "0.004", 2, "0", 0},
        {Decimals, "0.005", 2, "0.01", 0}, {Decimals, "0.999", 2, "1", 0}, {Decimals, "-0.0004", 2, "-0", 0},
        {Decimals, "7.25", INT64_MAX, "7.25", 0}, {Decimals, "123.456", -1, "0", kErrDomain},
        {Trunc, "1e25", 0, "1e25", 0}, {Trunc, "-0.9", 0, "-0", 0},
        {Trunc, "12345678901234567890.5", 0, "12345678901234567890", 0},
        {Ratio, "-2", 3, "-0.66666666666666666666666666666666666667", 0}, {Ratio, "1", 0, "0", kErrDomain},
        {Ratio, "-9223372036854775808", 7, "-1317624576693539401.1428571428571428571", 0},
        {Ratio, "9223372036854775807", 1, "9223372036854775807", 0}, {Ratio, "1", -3, "0", kErrDomain},
    };
    // clang-format on
    Scope scope(kTypeComplex, 2);
    for (const auto& c : rows) {
        Words x(3), r(3), want(3);
        real_from_decimal(x.data(), c.x);
        real_from_decimal(want.data(), c.want);
        num_ctx.error_code = 0;
        num_ctx.no_rounding = c.op == NoRounding;
        if (c.op == Digits || c.op == NoRounding) real_round_digits(r.data(), x.data(), c.n);
        if (c.op == Decimals) real_round_decimals(r.data(), x.data(), c.n);
        if (c.op == Trunc) real_trunc(r.data(), x.data());
        if (c.op == Ratio) real_from_ratio(r.data(), std::stoll(c.x), c.n);
        EXPECT_EQ(num_ctx.error_code, c.error) << c.x << " " << c.n;
        EXPECT_TRUE(same(dec(r.data()), dec(want.data()))) << c.x << " " << c.n << " got " << str(dec(r.data()));
        EXPECT_EQ(real_is_negative(r.data()), c.want[0] == '-') << c.x << " " << c.n;
    }
}

// ---- Shape ----------------------------------------------------------------------------------------------------------

TEST(ComplexShape, Resize) {
    Scope scope(kTypeComplex, 2);
    Words z = cx("1.234567890123456789512", "-9.999999999999999999999");
    num_ctx.real_limbs = 1;
    complex_resize(z.data(), 2);  // narrowing rounds each part on its first dropped limb
    EXPECT_EQ(text(z.data()), "1.23456789012345679-10i");
    Words wide(8);
    std::copy(z.begin(), z.begin() + 4, wide.begin());
    num_ctx.real_limbs = 3;
    complex_resize(wide.data(), 1);  // widening moves the imaginary part and zero-fills
    EXPECT_EQ(text(wide.data()), "1.23456789012345679-10i");
    EXPECT_TRUE(wide[2] == 0 && wide[3] == 0);
}

}  // namespace
