// The approximation path of the algebraic-equation solver: written lines and messages, and random products of
// known roots against MPFR.
#include "equations/algebraic_equation.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "formula/complex_num.h"
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

struct Case {
    std::vector<std::string> coefficients;  // highest first
    int digits;
    bool real_only;
    bool exact_or_no_multiplicity;  // the exact path for messages, no multiplicities for outputs
    const char* output;             // or the row named by the message
    uint32_t code = 0;
};

// Solves with the window's controls, the rows named as the window names them.
std::string solve(const Case& c, uint32_t* code, bool exact) {
    init_once();
    const int degree = static_cast<int>(c.coefficients.size()) - 1;
    CoefficientRows rows;
    for (int r = 0; r <= degree; ++r) {
        rows.texts.push_back(utf16(c.coefficients[static_cast<size_t>(r)]));
        rows.names.push_back(coefficient_row_name(degree - r));
    }
    const bool no_multiplicity = !exact && c.exact_or_no_multiplicity;
    std::u16string output;
    *code =
        solve_equation({degree, c.real_only ? 1 : 0, exact ? 1 : 0, c.digits, no_multiplicity ? 0 : 1}, rows, &output);
    return utf16_to_utf8(output);
}

const std::string kLongestText = std::string(1029, ' ') + "1", kLongText(1031, '1');

// clang-format off
const Case kApproximationCases[] = {
    {{"1", "0", "-3", "2"}, 10, true, false, "x1 ≈ -2   [1]\r\nx2 ≈ 1   [2]\r\n"},
    {{"1", "0", "-3", "2"}, 10, true, true, "x1 ≈ -2\r\nx2 ≈ 1\r\n"},
    {{"1", "0", "1"}, 10, true, false, "The equation has no real solutions."},
    {{"1", "", "", ""}, 10, true, false, "x1 ≈ 0   [3]\r\n"},
    {{"1", kLongestText}, 10, true, false, "x1 ≈ -1   [1]\r\n"},
    // Zero roots are divided out first and appended. Non-real roots: by real part, then |imaginary part|, the
    // negative imaginary part first.
    {{"1", "0", "1", "0"}, 10, false, false, "x1 ≈ 0   [1]\r\nx2 ≈ -i   [1]\r\nx3 ≈ i   [1]\r\n"},
    {{"1", "-2", "2"}, 10, false, false, "x1 ≈ 1-i   [1]\r\nx2 ≈ 1+i   [1]\r\n"},
    {{"1", "0", "5", "0", "4"}, 10, false, false, "x1 ≈ -i   [1]\r\nx2 ≈ i   [1]\r\nx3 ≈ -2i   [1]\r\nx4 ≈ 2i   [1]\r\n"},
    {{"1", "-3-i", "2+2i"}, 10, false, false, "x1 ≈ 2   [1]\r\nx2 ≈ 1+i   [1]\r\n"},
    {{"2^2/4", " \t ", "-sqrt(4)"}, 10, true, false, "x1 ≈ -1.414213562   [1]\r\nx2 ≈ 1.414213562   [1]\r\n"},
    {{"3", "-1"}, 5, true, false, "x1 ≈ 0.33333   [1]\r\n"},
    // Start values and roots share the real part 1, which settles at once; the imaginary parts still converge.
    {{"1", "-2", "7"}, 30, false, false,
     "x1 ≈ 1-2.44948974278317809819728407471i   [1]\r\nx2 ≈ 1+2.44948974278317809819728407471i   [1]\r\n"},
    // x^2 - 2 moves the first approximation exactly onto the second in the first step.
    {{"1", "0", "-2"}, 10, false, false, "x1 ≈ -1.414213562   [1]\r\nx2 ≈ 1.414213562   [1]\r\n"},
};

const Case kMessageCases[] = {
    {{"", "1", "1"}, 10, true, false, "a2", kMsgLeadingCoefficientZero},
    {{"0*i", "1"}, 10, false, false, "a1", kMsgLeadingCoefficientZero},
    {{"1", "1", "1e-30i"}, 10, true, false, "a0", kMsgCoefficientNotReal},
    {{"1", kLongText}, 10, true, false, "a0", kMsgCoefficientTooLong},
    {{"1", "x", kLongText}, 10, true, false, "a1", kMsgCoefficientFormula},  // the first message of the rows wins
    {{"sqrt(2)", "1"}, 10, true, true, "a1", kMsgCoefficientNotRational},
    {{"1", "18446744073709551616"}, 10, true, true, "a0", kMsgCoefficientNotRational},
    // The roots +-10^50 lie far from the start values; 3 * n * d = 30 sweeps cannot bring the approximations there.
    {{"1", "0", "-1e100"}, 5, true, false, "???", kMsgNotConverged},
    // Degree 10 at 800 digits would need 555 limbs.
    {{"1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "-1"}, 800, true, false, "???", kMsgInternal},
};
// clang-format on

TEST(SolveEquation, WritesTheApproximationLinesOrAMessageAlone) {
    uint32_t code = 0;
    for (const auto& c : kApproximationCases) {
        EXPECT_EQ(solve(c, &code, false), c.output)
            << "degree " << c.coefficients.size() - 1 << ", a1 " << c.coefficients[1];
        EXPECT_EQ(code, 0u) << c.output;
    }
    for (const auto& c : kMessageCases) {
        EXPECT_EQ(solve(c, &code, c.exact_or_no_multiplicity), "") << c.code;
        EXPECT_EQ(code, c.code) << c.coefficients[0] << " / " << c.coefficients[1].substr(0, 20);
        EXPECT_EQ(utf16_to_utf8(message_state.message_param1), c.output) << c.code;
        EXPECT_EQ(message_state.formula_error != 0, c.code == kMsgCoefficientFormula) << c.code;
    }
}

// ---- Randomised: polynomials of known roots --------------------------------------------------------------------

struct Records {
    std::unique_ptr<EquationInput> input = std::make_unique<EquationInput>();
    std::unique_ptr<EquationSolution> solution = std::make_unique<EquationSolution>();
};

// Coefficients a_0 .. a_n as complex texts, solved at the working precision of degree n and d digits.
Records solve_records(const std::vector<std::string>& lowest_first, int digits, bool real_only) {
    init_once();
    Records r;
    const int n = static_cast<int>(lowest_first.size()) - 1;
    r.solution->limbs = num_ctx.real_limbs = equation_working_limbs(n, digits);
    r.solution->digits = digits;
    r.solution->real_only = real_only ? 1 : 0;
    r.solution->format_flags = 0;
    r.input->degree = n;
    for (int i = 0; i <= n; ++i) complex_parse(r.input->coefficients[i], utf16(lowest_first[i]).c_str(), -1, 0);
    solve_polynomial(*r.input, r.solution.get(), 0);
    num_ctx.real_limbs = r.solution->limbs;
    return r;
}

std::string root_text(const EquationSolution& s, int i) {
    char16_t buffer[4000];
    return utf16_to_utf8(std::u16string(buffer, static_cast<size_t>(complex_format(buffer, 4000, s.roots[i], 0))));
}

// True when the engine's part is the known value (a decimal text) rounded to d significant digits: within half a
// unit of the d-th digit.
bool matches_rounded(const RealNum* part, const std::string& known, int digits) {
    char16_t buffer[4000];
    const int length = real_format(buffer, 4000, part, kFmtScientific, 19 * num_ctx.real_limbs);
    mpfr_t got, want;
    mpfr_inits2(1000, got, want, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(got, utf16_to_utf8(std::u16string(buffer, static_cast<size_t>(length))).c_str(), 10, MPFR_RNDN);
    mpfr_set_str(want, known.c_str(), 10, MPFR_RNDN);
    const double w = std::fabs(mpfr_get_d(want, MPFR_RNDN));
    mpfr_sub(got, got, want, MPFR_RNDN);
    const double error = std::fabs(mpfr_get_d(got, MPFR_RNDN));
    mpfr_clears(got, want, static_cast<mpfr_ptr>(nullptr));
    return w == 0 ? error == 0 : error <= 0.5000001 * std::pow(10.0, std::floor(std::log10(w)) - digits + 1);
}

struct KnownRoot {
    std::string re, im;  // 150 significant digits, exact for the rational roots
    unsigned multiplicity;
};

// Products of linear factors (q x - p), q in {1, 2, 4, 5, 8} (short decimal roots, so a multiple root found to
// fewer digits still rounds right), some repeated, and of quadratics x^2 + b x + c with irrational or complex
// roots; distinct roots stay at least 0.05 apart. The roots come in the solver's order: real first; by real part;
// by |imaginary part|; negative imaginary part first.
std::vector<KnownRoot> random_polynomial(std::mt19937_64& rng, int degree, std::vector<mpz_class>* lowest_first) {
    static const long kDenominators[] = {1, 2, 4, 5, 8};
    auto multiply = [lowest_first](const std::vector<mpz_class>& factor) {
        std::vector<mpz_class> out(lowest_first->size() + factor.size() - 1, 0);
        for (size_t i = 0; i < lowest_first->size(); ++i)
            for (size_t j = 0; j < factor.size(); ++j) out[i + j] += (*lowest_first)[i] * factor[j];
        *lowest_first = out;
    };
    for (bool close = true; close;) {
        close = false;
        *lowest_first = {1};
        std::vector<KnownRoot> roots;
        mpfr_t re, im, w;
        mpfr_inits2(600, re, im, w, static_cast<mpfr_ptr>(nullptr));
        auto place = [&](unsigned multiplicity) {
            char a[200], b[200];
            mpfr_snprintf(a, sizeof a, "%.150Re", re);
            mpfr_snprintf(b, sizeof b, "%.150Re", im);
            for (const auto& r : roots) {
                close = close || std::hypot(std::stod(r.re) - std::stod(a), std::stod(r.im) - std::stod(b)) < 0.05;
            }
            roots.push_back({a, b, multiplicity});
        };
        for (int left = degree; left > 0;) {
            mpfr_set_zero(im, 1);
            if (left >= 2 && rng() % 3 == 0) {
                const long b = static_cast<long>(rng() % 13) - 6, c = static_cast<long>(rng() % 21) - 10;
                const long disc = b * b - 4 * c;
                if (disc >= 0 && mpz_perfect_square_p(mpz_class(disc).get_mpz_t())) continue;
                mpfr_sqrt_ui(w, static_cast<unsigned long>(std::labs(disc)), MPFR_RNDN);
                for (int sign : {1, -1}) {
                    mpfr_set_si(re, -b, MPFR_RNDN);
                    mpfr_set_zero(im, 1);
                    mpfr_mul_si(w, w, sign, MPFR_RNDN);
                    mpfr_add(disc < 0 ? im : re, disc < 0 ? im : re, w, MPFR_RNDN);
                    mpfr_div_ui(re, re, 2, MPFR_RNDN);
                    mpfr_div_ui(im, im, 2, MPFR_RNDN);
                    place(1);
                }
                multiply({c, b, 1});
                left -= 2;
            } else {
                const long q = kDenominators[rng() % 5], p = static_cast<long>(rng() % 41) - 20;
                const int multiplicity = static_cast<int>(std::min<uint64_t>(rng() % 4 == 0 ? 1 + rng() % 3 : 1, left));
                mpfr_set_si(re, p, MPFR_RNDN);
                mpfr_div_si(re, re, q, MPFR_RNDN);
                place(static_cast<unsigned>(multiplicity));
                for (int k = 0; k < multiplicity; ++k) multiply({-p, q});
                left -= multiplicity;
            }
        }
        mpfr_clears(re, im, w, static_cast<mpfr_ptr>(nullptr));
        auto key = [](const KnownRoot& r) {
            const double x = std::stod(r.re), y = std::stod(r.im);
            return std::make_tuple(y != 0, x, std::fabs(y), y);
        };
        std::sort(roots.begin(), roots.end(),
                  [&key](const KnownRoot& u, const KnownRoot& v) { return key(u) < key(v); });
        if (!close) return roots;
    }
    return {};
}

TEST(SolvePolynomial, FindsTheKnownRootsOfRandomProducts) {
    std::mt19937_64 rng(20261206);
    const int kDigits[] = {10, 16, 30, 45};
    for (int trial = 0; trial < 45; ++trial) {
        const int degree = 2 + trial % 9, digits = kDigits[(trial / 9) % 4];
        std::vector<mpz_class> poly;
        const std::vector<KnownRoot> roots = random_polynomial(rng, degree, &poly);
        std::vector<std::string> texts;
        std::string label = "a0..an:";
        for (const auto& c : poly) {
            texts.push_back(c.get_str());
            label.append(" ").append(texts.back());
        }
        label.append(", digits ").append(std::to_string(digits));
        for (const bool real_only : {false, true}) {
            if (real_only && trial % 3 != 0) continue;
            std::vector<KnownRoot> expected;
            std::copy_if(roots.begin(), roots.end(), std::back_inserter(expected),
                         [real_only](const KnownRoot& k) { return !real_only || std::stod(k.im) == 0; });
            const Records r = solve_records(texts, digits, real_only);
            const EquationSolution& s = *r.solution;
            ASSERT_EQ(s.root_count, static_cast<int>(expected.size())) << label << (real_only ? ", real" : "");
            EXPECT_EQ(num_ctx.error_code, 0u) << label;
            for (int i = 0; i < s.root_count; ++i) {
                const KnownRoot& k = expected[static_cast<size_t>(i)];
                EXPECT_TRUE(matches_rounded(complex_real(s.roots[i]), k.re, digits) &&
                            matches_rounded(complex_imag(s.roots[i]), k.im, digits))
                    << label << " root " << i + 1 << ": " << root_text(s, i) << " for " << k.re << " " << k.im;
                EXPECT_EQ(s.multiplicity[i], k.multiplicity) << label << " root " << i + 1;
            }
            clear_error_state();
        }
    }
}

}  // namespace
