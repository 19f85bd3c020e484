// The exact path of the algebraic-equation solver: rational roots, square-root texts of the remaining quadratic,
// and the square-free split behind them.
#include "equations/exact_roots.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formula/complex_num.h"
#include "formula/formula_eval.h"
#include "numeric/real_text.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

void init_once() {
    static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
    (void)initialised;
    clear_error_state();
}

CoefficientRows rows_of(const std::vector<std::string>& highest_first) {
    const int degree = static_cast<int>(highest_first.size()) - 1;
    CoefficientRows rows;
    for (int r = 0; r <= degree; ++r) {
        rows.texts.emplace_back();
        utf8_to_utf16(highest_first[static_cast<size_t>(r)], rows.texts.back());
        rows.names.push_back(coefficient_row_name(degree - r));
    }
    return rows;
}

// ---- The exact path of the Solve command -----------------------------------------------------------------------

struct ExactCase {
    std::vector<std::string> coefficients;  // highest first
    int digits;
    bool real_only;
    const char* output;
};

// clang-format off
const ExactCase kExactCases[] = {
    {{"2", "-1"}, 10, true, "x1 = 1/2 ≈ 0.5   [1]\r\n"},
    {{"6", "-7", "0", "1"}, 10, true, "x1 = -1/3 ≈ -0.3333333333   [1]\r\nx2 = 1/2 ≈ 0.5   [1]\r\nx3 = 1   [1]\r\n"},
    // No rational root and a cubic left over: approximations only.
    {{"1", "0", "0", "-2"}, 10, false,
     "x1 ≈ 1.25992105   [1]\r\nx2 ≈ -0.6299605249-1.091123636i   [1]\r\nx3 ≈ -0.6299605249+1.091123636i   [1]\r\n"},
    // A whole approximation without exact text keeps a decimal point.
    {{"1", "0", "0", "-1000000001"}, 10, true, "x1 ≈ 1000.0   [1]\r\n"},
    // A rational root divided out leaves a quadratic with square-root texts; two irreducible quadratics do not.
    {{"1", "-1", "-2", "2"}, 10, true,
     "x1 = -sqrt(2) ≈ -1.414213562   [1]\r\nx2 = 1   [1]\r\nx3 = sqrt(2) ≈ 1.414213562   [1]\r\n"},
    {{"1", "0", "-5", "0", "6"}, 10, true,
     "x1 ≈ -1.732050808   [1]\r\nx2 ≈ -1.414213562   [1]\r\nx3 ≈ 1.414213562   [1]\r\nx4 ≈ 1.732050808   [1]\r\n"},
    // Quadratics: the closed forms.
    {{"1", "0", "-2"}, 10, true, "x1 = -sqrt(2) ≈ -1.414213562   [1]\r\nx2 = sqrt(2) ≈ 1.414213562   [1]\r\n"},
    {{"1", "-2", "-1"}, 10, true, "x1 = 1-sqrt(2) ≈ -0.4142135624   [1]\r\nx2 = 1+sqrt(2) ≈ 2.414213562   [1]\r\n"},
    {{"1", "-1", "-11"}, 10, true,
     "x1 = 1/2-3/2*sqrt(5) ≈ -2.854101966   [1]\r\nx2 = 1/2+3/2*sqrt(5) ≈ 3.854101966   [1]\r\n"},
    {{"1", "0", "2"}, 10, false, "x1 = -sqrt(2)*i ≈ -1.414213562i   [1]\r\nx2 = sqrt(2)*i ≈ 1.414213562i   [1]\r\n"},
    {{"1", "0", "1"}, 10, false, "x1 = -1*i   [1]\r\nx2 = 1*i   [1]\r\n"},
    {{"1", "0", "1"}, 10, true, "The equation has no real solutions."},
    {{"1", "-1", "1"}, 10, false,
     "x1 = 1/2-1/2*sqrt(3)*i ≈ 0.5-0.8660254038i   [1]\r\nx2 = 1/2+1/2*sqrt(3)*i ≈ 0.5+0.8660254038i   [1]\r\n"},
    {{"1", "-2", "1"}, 10, true, "x1 = 1   [2]\r\n"},
    // A negative leading coefficient turns the sign of s; a rational discriminant splits numerator and denominator.
    {{"-1", "0", "2"}, 10, true, "x1 = -sqrt(2) ≈ -1.414213562   [1]\r\nx2 = sqrt(2) ≈ 1.414213562   [1]\r\n"},
    {{"1", "0", "-1/3"}, 10, true, "x1 = -1/3*sqrt(3) ≈ -0.5773502692   [1]\r\nx2 = 1/3*sqrt(3) ≈ 0.5773502692   [1]\r\n"},
    // A quadratic with a zero root: the root of the reduced equation, then the zero root.
    {{"1", "-1", ""}, 10, true, "x1 = 0   [1]\r\nx2 = 1   [1]\r\n"},
    // The complex pair of a cubic: left out in real mode.
    {{"1", "-1", "1", "-1"}, 10, true, "x1 = 1   [1]\r\n"},
    {{"1", "-1", "1", "-1"}, 10, false, "x1 = 1   [1]\r\nx2 = -1*i   [1]\r\nx3 = 1*i   [1]\r\n"},
    // More digits than 22: the chosen working precision is kept.
    {{"1", "0", "-2"}, 30, true,
     "x1 = -sqrt(2) ≈ -1.41421356237309504880168872421   [1]\r\nx2 = sqrt(2) ≈ 1.41421356237309504880168872421   [1]\r\n"},
};
// clang-format on

TEST(ExactPath, WritesExactTextsAndApproximations) {
    for (const auto& c : kExactCases) {
        init_once();
        const int degree = static_cast<int>(c.coefficients.size()) - 1;
        std::u16string output;
        const uint32_t code = solve_equation(EquationControls{degree, c.real_only ? 1 : 0, 1, c.digits, 1},
                                             rows_of(c.coefficients), &output);
        EXPECT_EQ(code, 0u) << c.output;
        EXPECT_EQ(utf16_to_utf8(output), c.output)
            << "degree " << degree << ", a1 " << c.coefficients[1] << (c.real_only ? ", real" : ", complex");
    }
    clear_error_state();
}

// ---- square_free_split: m = s^2 r with r square-free ------------------------------------------------------------

TEST(SquareFreeSplit, SplitsOffTheSquares) {
    // A prime, two primes beyond the cube root, the largest 32-bit prime squared, 2^64 - 1 (seven primes), 2^63.
    // clang-format off
    const uint64_t kCases[][3] = {
        {1, 1, 1}, {72, 6, 2}, {1000000007, 1, 1000000007}, {1000003ull * 1000033ull, 1, 1000003ull * 1000033ull},
        {4294967291ull * 4294967291ull, 4294967291ull, 1}, {18446744073709551615ull, 1, 18446744073709551615ull},
        {9223372036854775808ull, 2147483648ull, 2}, {7ull * 7 * 7 * 11 * 11 * 13, 77, 91},
        {1000000007ull * 1000000007ull * 3, 1000000007, 3},
    };
    // clang-format on
    for (const auto& c : kCases) {
        const SquareFreeSplit got = square_free_split(c[0]);
        EXPECT_EQ(got.s, c[1]) << c[0];
        EXPECT_EQ(got.r, c[2]) << c[0];
    }
    // Constructed products of small and large primes, against GMP; they cover the small cases.
    static const uint64_t kPrimes[] = {2,  3,  5,  7,  11, 13, 17, 19,  23,    29,
                                       31, 37, 41, 43, 47, 53, 97, 101, 65537, 1000003};
    std::mt19937_64 rng(5115);
    for (int trial = 0; trial < 3000; ++trial) {
        mpz_class s = 1, r = 1;
        for (uint64_t p : kPrimes) {
            const int choice = static_cast<int>(rng() % 6);
            if (choice == 0 || (choice == 2 && trial % 2 == 0)) r *= p;
            if (choice == 1 || (choice == 2 && trial % 2 == 0)) s *= p;
        }
        const mpz_class m = s * s * r;
        if (m.get_str(16).size() > 16) continue;
        const SquareFreeSplit got = square_free_split(m.get_ui());
        EXPECT_EQ(std::to_string(got.s), s.get_str()) << "m = " << m.get_str();
        EXPECT_EQ(std::to_string(got.r), r.get_str()) << "m = " << m.get_str();
    }
}

// ---- Randomised: rational roots and one quadratic factor -------------------------------------------------------

// Products of linear factors (q x - p) with multiplicities and, in half the trials, one quadratic a x^2 + b x + c
// whose discriminant is not a square. Every rational root must carry its reduced fraction as text with its
// multiplicity; the quadratic's two texts, evaluated by the formula evaluator, must give its roots within 2^-130.
TEST(ExactRoots, NamesEveryRationalRootAndTheRemainingQuadratic) {
    std::mt19937_64 rng(777);
    int solved = 0;
    mpfr_t want[2], got;
    mpfr_inits2(400, want[0], want[1], got, static_cast<mpfr_ptr>(nullptr));
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<mpz_class> poly = {1};
        auto multiply = [&poly](const std::vector<mpz_class>& f) {
            std::vector<mpz_class> out(poly.size() + f.size() - 1, 0);
            for (size_t i = 0; i < poly.size(); ++i)
                for (size_t j = 0; j < f.size(); ++j) out[i + j] += poly[i] * f[j];
            poly = out;
        };
        std::vector<mpq_class> rational_roots;
        for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k) {
            const long q = 1 + static_cast<long>(rng() % 5), p = static_cast<long>(rng() % 19) - 9;
            mpq_class root(p, q);
            root.canonicalize();
            for (int m = rng() % 4 == 0 ? 2 : 1; m > 0; --m) {
                multiply({-p, q});
                rational_roots.push_back(root);
            }
        }
        long qa = 0, qb = 0, qc = 0, disc = 0;
        if (trial % 2 == 0) {
            do {
                qa = 1 + static_cast<long>(rng() % 3);
                qb = static_cast<long>(rng() % 11) - 5;
                qc = static_cast<long>(rng() % 11) - 5;
                disc = qb * qb - 4 * qa * qc;
            } while (disc == 0 || (disc > 0 && mpz_perfect_square_p(mpz_class(disc).get_mpz_t())));
            multiply({qc, qb, qa});
        }
        const int degree = static_cast<int>(poly.size()) - 1;
        if (degree > kMaxEquationDegree || degree < 3) continue;
        std::vector<std::string> highest_first;
        std::string label = "an..a0:";
        for (int i = degree; i >= 0; --i) {
            highest_first.push_back(poly[static_cast<size_t>(i)].get_str());
            label.append(" ").append(highest_first.back());
        }
        init_once();
        auto equation = std::make_unique<RationalEquation>();
        auto s = std::make_unique<EquationSolution>();
        ASSERT_TRUE(read_rational_coefficients(rows_of(highest_first), degree, equation.get())) << label;
        s->format_flags = s->real_only = 0;
        s->digits = 25;
        s->limbs = equation_working_limbs(degree, 25);
        exact_roots(*equation, s.get());
        ASSERT_GE(s->root_count, 1) << label;
        ++solved;

        size_t rational_lines = 0;
        int quadratic_texts = 0;
        for (int i = 0; i < s->root_count; ++i) {
            const std::u16string text(s->exact_text[i]);
            ASSERT_FALSE(text.empty()) << label << " root " << i + 1;
            if (text.find(u"sqrt") == text.npos && text.find(u'i') == text.npos) {
                const auto count =
                    std::count(rational_roots.begin(), rational_roots.end(), mpq_class(utf16_to_utf8(text)));
                EXPECT_EQ(s->multiplicity[i], static_cast<uint32_t>(count)) << label << " root " << utf16_to_utf8(text);
                rational_lines += static_cast<size_t>(count);
                continue;
            }
            ASSERT_NE(qa, 0) << label << " root " << utf16_to_utf8(text);
            const int saved_limbs = num_ctx.real_limbs;
            num_ctx.real_limbs = 3;
            num_ctx.number_type = kTypeComplex;
            std::vector<uint64_t> value(8);
            evaluate_formula(value.data(), text.c_str());
            EXPECT_EQ(formula_result.formula_error, 0u) << utf16_to_utf8(text);
            // The roots (-b +- sqrt(disc)) / 2a as real and imaginary part.
            bool matches[2] = {true, true};
            for (int sign = 0; sign < 2; ++sign) {
                mpfr_sqrt_ui(got, static_cast<unsigned long>(std::labs(disc)), MPFR_RNDN);
                mpfr_mul_si(got, got, sign == 0 ? 1 : -1, MPFR_RNDN);
                mpfr_set_si(want[0], -qb, MPFR_RNDN);
                mpfr_set_zero(want[1], 1);
                mpfr_add(want[disc < 0], want[disc < 0], got, MPFR_RNDN);
                for (int part = 0; part < 2; ++part) {
                    char16_t buffer[200];
                    const RealNum* x = part == 0 ? complex_real(value.data()) : complex_imag(value.data());
                    const int length = real_format(buffer, 200, x, kFmtScientific, 57);
                    mpfr_div_si(want[part], want[part], 2 * qa, MPFR_RNDN);
                    mpfr_set_str(got, utf16_to_utf8(std::u16string(buffer, static_cast<size_t>(length))).c_str(), 10,
                                 MPFR_RNDN);
                    mpfr_sub(got, got, want[part], MPFR_RNDN);
                    matches[sign] = matches[sign] && (mpfr_zero_p(got) || mpfr_get_exp(got) < -130);
                }
            }
            num_ctx.real_limbs = saved_limbs;
            num_ctx.number_type = 0;
            EXPECT_TRUE(matches[0] || matches[1]) << label << " root " << utf16_to_utf8(text);
            ++quadratic_texts;
        }
        EXPECT_EQ(rational_lines, rational_roots.size()) << label;
        EXPECT_EQ(quadratic_texts, qa == 0 ? 0 : 2) << label;
        clear_error_state();
    }
    mpfr_clears(want[0], want[1], got, static_cast<mpfr_ptr>(nullptr));
    EXPECT_GE(solved, 25);
}

}  // namespace
