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
#include "numeric/real_arith.h"
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

std::u16string utf16(const std::string& text) {
    std::u16string out;
    utf8_to_utf16(text, out);
    return out;
}

CoefficientRows rows_of(const std::vector<std::string>& highest_first) {
    const int degree = static_cast<int>(highest_first.size()) - 1;
    CoefficientRows rows;
    for (int r = 0; r <= degree; ++r) {
        rows.texts.push_back(utf16(highest_first[static_cast<size_t>(r)]));
        rows.names.push_back(coefficient_row_name(degree - r));
    }
    return rows;
}

std::string solve_exact(const std::vector<std::string>& highest_first, int digits, bool real_only, uint32_t* code) {
    init_once();
    EquationControls controls{static_cast<int>(highest_first.size()) - 1, real_only ? 1 : 0, 1, digits, 1};
    std::u16string output;
    *code = solve_equation(controls, rows_of(highest_first), &output);
    clear_error_state();
    return utf16_to_utf8(output);
}

// ---- The exact path of the Solve command -----------------------------------------------------------------------

struct ExactCase {
    std::vector<std::string> coefficients;  // highest first
    int digits;
    bool real_only;
    const char* output;
};

const ExactCase kExactCases[] = {
    {{"2", "-1"}, 10, true, "x1 = 1/2 ≈ 0.5   [1]\r\n"},
    {{"1", "-3"}, 10, true, "x1 = 3   [1]\r\n"},
    {{"1/3", "-1"}, 10, true, "x1 = 3   [1]\r\n"},
    {{"1", "0", "-1", "0"}, 10, true, "x1 = -1   [1]\r\nx2 = 0   [1]\r\nx3 = 1   [1]\r\n"},
    // No rational root and a cubic left over: approximations only.
    {{"1", "0", "0", "-2"}, 10, true, "x1 ≈ 1.25992105   [1]\r\n"},
    {{"1", "0", "0", "-2"},
     10,
     false,
     "x1 ≈ 1.25992105   [1]\r\nx2 ≈ -0.6299605249-1.091123636i   [1]\r\nx3 ≈ -0.6299605249+1.091123636i   [1]\r\n"},
    // Below 22 digits the roots are computed with 22 and rounded to the digits asked for.
    {{"1", "0", "0", "-2"}, 5, true, "x1 ≈ 1.2599   [1]\r\n"},
    // A whole approximation without exact text keeps a decimal point.
    {{"1", "0", "0", "-1000000001"}, 10, true, "x1 ≈ 1000.0   [1]\r\n"},
    // A rational root divided out leaves a quadratic with square-root texts.
    {{"1", "-1", "-2", "2"},
     10,
     true,
     "x1 = -sqrt(2) ≈ -1.414213562   [1]\r\nx2 = 1   [1]\r\nx3 = sqrt(2) ≈ 1.414213562   [1]\r\n"},
    {{"1", "1", "-5", "-3", "6"},
     10,
     true,
     "x1 = -2   [1]\r\nx2 = -sqrt(3) ≈ -1.732050808   [1]\r\nx3 = 1   [1]\r\nx4 = sqrt(3) ≈ 1.732050808   [1]\r\n"},
    // Two irreducible quadratics: degree 4 remains, no texts.
    {{"1", "0", "-5", "0", "6"},
     10,
     true,
     "x1 ≈ -1.732050808   [1]\r\nx2 ≈ -1.414213562   [1]\r\nx3 ≈ 1.414213562   [1]\r\nx4 ≈ 1.732050808   [1]\r\n"},
    // Rational roots with denominators, found through the leading coefficient.
    {{"6", "-7", "0", "1"}, 10, true, "x1 = -1/3 ≈ -0.3333333333   [1]\r\nx2 = 1/2 ≈ 0.5   [1]\r\nx3 = 1   [1]\r\n"},
    {{"1", "0", "-3", "2"}, 10, true, "x1 = -2   [1]\r\nx2 = 1   [2]\r\n"},
    // Quadratics: the closed forms of the documented examples.
    {{"1", "0", "-2"}, 10, true, "x1 = -sqrt(2) ≈ -1.414213562   [1]\r\nx2 = sqrt(2) ≈ 1.414213562   [1]\r\n"},
    {{"1", "-2", "-1"}, 10, true, "x1 = 1-sqrt(2) ≈ -0.4142135624   [1]\r\nx2 = 1+sqrt(2) ≈ 2.414213562   [1]\r\n"},
    {{"4", "-4", "-19"}, 10, true, "x1 = 1/2-sqrt(5) ≈ -1.736067977   [1]\r\nx2 = 1/2+sqrt(5) ≈ 2.736067977   [1]\r\n"},
    {{"1", "0", "2"}, 10, false, "x1 = -sqrt(2)*i ≈ -1.414213562i   [1]\r\nx2 = sqrt(2)*i ≈ 1.414213562i   [1]\r\n"},
    {{"1", "0", "1"}, 10, false, "x1 = -1*i   [1]\r\nx2 = 1*i   [1]\r\n"},
    {{"2", "-3", "1"}, 10, true, "x1 = 1/2 ≈ 0.5   [1]\r\nx2 = 1   [1]\r\n"},
    {{"1", "0", "1"}, 10, true, "The equation has no real solutions."},
    {{"1", "-1", "-11"},
     10,
     true,
     "x1 = 1/2-3/2*sqrt(5) ≈ -2.854101966   [1]\r\nx2 = 1/2+3/2*sqrt(5) ≈ 3.854101966   [1]\r\n"},
    {{"1", "-1", "1"},
     10,
     false,
     "x1 = 1/2-1/2*sqrt(3)*i ≈ 0.5-0.8660254038i   [1]\r\nx2 = 1/2+1/2*sqrt(3)*i ≈ 0.5+0.8660254038i   [1]\r\n"},
    {{"1", "-2", "5"}, 10, false, "x1 = 1-2*i   [1]\r\nx2 = 1+2*i   [1]\r\n"},
    {{"1", "-2", "1"}, 10, true, "x1 = 1   [2]\r\n"},
    // A negative leading coefficient turns the sign of s; a rational discriminant splits numerator and denominator.
    {{"-1", "0", "2"}, 10, true, "x1 = -sqrt(2) ≈ -1.414213562   [1]\r\nx2 = sqrt(2) ≈ 1.414213562   [1]\r\n"},
    {{"1", "0", "-1/3"},
     10,
     true,
     "x1 = -1/3*sqrt(3) ≈ -0.5773502692   [1]\r\nx2 = 1/3*sqrt(3) ≈ 0.5773502692   [1]\r\n"},
    // A quadratic with a zero root: the root of the reduced equation, then the zero root.
    {{"1", "-1", ""}, 10, true, "x1 = 0   [1]\r\nx2 = 1   [1]\r\n"},
    // Real-mode complex pair of a cubic: the rational root only.
    {{"1", "-1", "1", "-1"}, 10, true, "x1 = 1   [1]\r\n"},
    {{"1", "-1", "1", "-1"}, 10, false, "x1 = 1   [1]\r\nx2 = -1*i   [1]\r\nx3 = 1*i   [1]\r\n"},
    // More digits than 22: the chosen working precision is kept.
    {{"1", "0", "-2"},
     30,
     true,
     "x1 = -sqrt(2) ≈ -1.41421356237309504880168872421   [1]\r\nx2 = sqrt(2) ≈ 1.41421356237309504880168872421   "
     "[1]\r\n"},
};

TEST(ExactPath, WritesExactTextsAndApproximations) {
    for (const auto& c : kExactCases) {
        uint32_t code = 0;
        const std::string out = solve_exact(c.coefficients, c.digits, c.real_only, &code);
        EXPECT_EQ(code, 0u) << c.output;
        EXPECT_EQ(out, c.output) << "first coefficient " << c.coefficients[0] << ", degree "
                                 << c.coefficients.size() - 1 << (c.real_only ? ", real" : ", complex");
    }
}

TEST(ExactPath, RestoresTheDigitsAndKeepsTheRaisedLimbCount) {
    init_once();
    auto equation = std::make_unique<RationalEquation>();
    ASSERT_TRUE(read_rational_coefficients(rows_of({"1", "0", "-2"}), 2, equation.get()));
    auto s = std::make_unique<EquationSolution>();
    s->format_flags = 0;
    s->real_only = 1;
    s->digits = 10;
    s->limbs = equation_working_limbs(2, 10);
    exact_roots(*equation, s.get());
    EXPECT_EQ(s->digits, 10);
    EXPECT_EQ(s->limbs, 3);  // 22 digits at degree 2: 46 working digits
    EXPECT_EQ(s->root_count, 2);
    EXPECT_EQ(message_state.message_code, 0u);
}

// ---- square_free_split -----------------------------------------------------------------------------------------

struct SplitCase {
    uint64_t m;
    uint64_t s;
    uint64_t r;
};

const SplitCase kSplitCases[] = {
    {1, 1, 1},
    {2, 1, 2},
    {4, 2, 1},
    {8, 2, 2},
    {12, 2, 3},
    {27, 3, 3},
    {45, 3, 5},
    {72, 6, 2},
    {320, 8, 5},
    {1000000, 1000, 1},
    {1000000007, 1, 1000000007},                            // prime
    {1000003ull * 1000033ull, 1, 1000003ull * 1000033ull},  // two primes beyond the cube root
    {4294967291ull * 4294967291ull, 4294967291ull, 1},      // square of the largest 32-bit prime
    {18446744073709551615ull, 1, 18446744073709551615ull},  // 3 * 5 * 17 * 257 * 641 * 65537 * 6700417
    {9223372036854775808ull, 2147483648ull, 2},             // 2^63
    {7ull * 7 * 7 * 11 * 11 * 13, 77, 91},
    {1000000007ull * 1000000007ull * 3, 1000000007, 3},
};

TEST(SquareFreeSplit, SplitsOffTheSquares) {
    for (const auto& c : kSplitCases) {
        const SquareFreeSplit got = square_free_split(c.m);
        EXPECT_EQ(got.s, c.s) << c.m;
        EXPECT_EQ(got.r, c.r) << c.m;
    }
}

// Known answers: m = s^2 r with r a product of distinct primes.
TEST(SquareFreeSplit, MatchesConstructedProducts) {
    static const uint64_t kPrimes[] = {2,  3,  5,  7,  11, 13, 17, 19,  23,    29,
                                       31, 37, 41, 43, 47, 53, 97, 101, 65537, 1000003};
    std::mt19937_64 rng(5115);
    for (int trial = 0; trial < 3000; ++trial) {
        mpz_class s = 1, r = 1;
        for (uint64_t p : kPrimes) {
            const int choice = static_cast<int>(rng() % 6);
            if (choice == 0) r *= p;
            if (choice == 1) s *= p;
            if (choice == 2 && trial % 2 == 0) {
                s *= p;
                r *= p;
            }
        }
        const mpz_class m = s * s * r;
        if (m.get_str(16).size() > 16) continue;
        const uint64_t mw = std::stoull(m.get_str());
        const SquareFreeSplit got = square_free_split(mw);
        EXPECT_EQ(std::to_string(got.s), s.get_str()) << "m = " << mw;
        EXPECT_EQ(std::to_string(got.r), r.get_str()) << "m = " << mw;
    }
}

// ---- Randomised: rational roots and one quadratic factor -------------------------------------------------------

struct ExactRoot {
    mpq_class value;  // a rational root
    bool rational;
};

// Evaluates an exact text with the formula evaluator (complex type, 3 limbs) and checks it against the known
// complex value within 10^-40.
bool text_matches(const std::u16string& text, const mpfr_t re, const mpfr_t im) {
    const int saved_limbs = num_ctx.real_limbs;
    const uint32_t saved_type = num_ctx.number_type;
    num_ctx.real_limbs = 3;
    num_ctx.number_type = kTypeComplex;
    std::vector<uint64_t> value(8);
    evaluate_formula(value.data(), text.c_str());
    bool ok = formula_result.formula_error == 0;
    if (ok) {
        for (int part = 0; part < 2 && ok; ++part) {
            char16_t buffer[200];
            const RealNum* x = part == 0 ? complex_real(value.data()) : complex_imag(value.data());
            const int length = real_format(buffer, 200, x, kFmtScientific, 57);
            mpfr_t got, diff;
            mpfr_inits2(400, got, diff, static_cast<mpfr_ptr>(nullptr));
            mpfr_set_str(got, utf16_to_utf8(std::u16string(buffer, static_cast<size_t>(length))).c_str(), 10,
                         MPFR_RNDN);
            mpfr_sub(diff, got, part == 0 ? re : im, MPFR_RNDN);
            ok = mpfr_cmpabs_ui(diff, 0) == 0 || mpfr_get_exp(diff) < -130;
            mpfr_clears(got, diff, static_cast<mpfr_ptr>(nullptr));
        }
    }
    num_ctx.real_limbs = saved_limbs;
    num_ctx.number_type = saved_type;
    return ok;
}

TEST(ExactRoots, NamesEveryRationalRootAndTheRemainingQuadratic) {
    init_once();
    std::mt19937_64 rng(777);
    int solved = 0;
    for (int trial = 0; trial < 40; ++trial) {
        // Linear factors (q x - p) with multiplicities, and in half the trials one quadratic a x^2 + b x + c whose
        // discriminant is not a square.
        std::vector<mpz_class> poly = {1};
        auto multiply = [&poly](const std::vector<mpz_class>& f) {
            std::vector<mpz_class> out(poly.size() + f.size() - 1, 0);
            for (size_t i = 0; i < poly.size(); ++i)
                for (size_t j = 0; j < f.size(); ++j) out[i + j] += poly[i] * f[j];
            poly = out;
        };
        std::vector<mpq_class> rational_roots;
        std::string label;
        const int linear_count = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < linear_count; ++k) {
            const long q = 1 + static_cast<long>(rng() % 5);
            const long p = static_cast<long>(rng() % 19) - 9;
            const int multiplicity = rng() % 4 == 0 ? 2 : 1;
            mpq_class root(p, q);
            root.canonicalize();
            for (int m = 0; m < multiplicity; ++m) {
                multiply({-p, q});
                rational_roots.push_back(root);
            }
            label += '(';
            label += std::to_string(q) + "x-(" + std::to_string(p) + "))^" + std::to_string(multiplicity);
        }
        long qa = 0, qb = 0, qc = 0;
        if (trial % 2 == 0) {
            for (;;) {
                qa = 1 + static_cast<long>(rng() % 3);
                qb = static_cast<long>(rng() % 11) - 5;
                qc = static_cast<long>(rng() % 11) - 5;
                const long disc = qb * qb - 4 * qa * qc;
                const mpz_class d = disc < 0 ? -disc : disc;
                if (disc != 0 && (disc < 0 || !mpz_perfect_square_p(d.get_mpz_t()))) break;
            }
            multiply({qc, qb, qa});
            label += "(" + std::to_string(qa) + "x^2+" + std::to_string(qb) + "x+" + std::to_string(qc) + ")";
        }
        const int degree = static_cast<int>(poly.size()) - 1;
        if (degree > kMaxEquationDegree || degree < 3) continue;

        std::vector<std::string> highest_first;
        for (int i = degree; i >= 0; --i) highest_first.push_back(poly[static_cast<size_t>(i)].get_str());
        auto equation = std::make_unique<RationalEquation>();
        clear_error_state();
        ASSERT_TRUE(read_rational_coefficients(rows_of(highest_first), degree, equation.get())) << label;
        auto s = std::make_unique<EquationSolution>();
        s->format_flags = 0;
        s->real_only = 0;
        s->digits = 25;
        s->limbs = equation_working_limbs(degree, 25);
        exact_roots(*equation, s.get());
        ASSERT_GE(s->root_count, 1) << label;
        ++solved;

        // Every rational root carries its reduced fraction as text, with its multiplicity.
        std::sort(rational_roots.begin(), rational_roots.end());
        size_t rational_lines = 0;
        for (int i = 0; i < s->root_count; ++i) {
            const std::string text = utf16_to_utf8(s->exact_text[i]);
            EXPECT_FALSE(text.empty()) << label << " root " << i + 1;
            if (text.empty()) continue;
            if (text.find("sqrt") != std::string::npos || text.find('i') != std::string::npos) continue;
            const mpq_class value(text);
            const auto count = static_cast<uint32_t>(std::count(rational_roots.begin(), rational_roots.end(), value));
            EXPECT_EQ(s->multiplicity[i], count) << label << " root " << text;
            rational_lines += count;
        }
        EXPECT_EQ(rational_lines, rational_roots.size()) << label;

        // The quadratic's texts evaluate to its roots.
        if (qa != 0) {
            mpfr_t re, im, t;
            mpfr_inits2(400, re, im, t, static_cast<mpfr_ptr>(nullptr));
            const long disc = qb * qb - 4 * qa * qc;
            int found = 0;
            for (int sign : {1, -1}) {
                mpfr_set_si(t, disc < 0 ? -disc : disc, MPFR_RNDN);
                mpfr_sqrt(t, t, MPFR_RNDN);
                mpfr_mul_si(t, t, sign, MPFR_RNDN);
                mpfr_div_si(t, t, 2 * qa, MPFR_RNDN);
                mpfr_set_si(re, -qb, MPFR_RNDN);
                mpfr_div_si(re, re, 2 * qa, MPFR_RNDN);
                if (disc < 0) {
                    mpfr_set(im, t, MPFR_RNDN);
                } else {
                    mpfr_add(re, re, t, MPFR_RNDN);
                    mpfr_set_zero(im, 1);
                }
                for (int i = 0; i < s->root_count; ++i) {
                    const std::u16string text(s->exact_text[i]);
                    if (text.find(u"sqrt") == std::u16string::npos && text.find(u'i') == std::u16string::npos) continue;
                    if (text_matches(text, re, im)) ++found;
                }
            }
            EXPECT_EQ(found, 2) << label;
            mpfr_clears(re, im, t, static_cast<mpfr_ptr>(nullptr));
        }
        clear_error_state();
    }
    EXPECT_GE(solved, 25);
}

}  // namespace
