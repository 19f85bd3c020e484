#include "equations/linear_system.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <random>
#include <string>
#include <vector>

#include "grid/text_grid.h"
#include "formula/formula_eval.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;  // per equation: a1..an, b

struct Context {
    Context() {
        static const bool initialised = (init_numeric_context(), true);
        (void)initialised;
        load_string_table(kLanguageEnglish);
        num_ctx.min_plain_exponent = -4;
        num_ctx.display_digits = 10;
        clear_error_state();
    }
};

std::u16string u16(const std::string& s) {
    std::u16string out;
    EXPECT_TRUE(utf8_to_utf16(s, out)) << s;
    return out;
}

struct Outcome {
    uint32_t code;
    std::string output;   // CR LF kept
    std::string message;  // composed sentence
};

TextGrid grid_of(const Rows& rows) {
    TextGrid grid(kLinearGridColumns, static_cast<int>(rows.size()));
    const int n = static_cast<int>(rows.size());
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= n; ++j) grid.set_cell_text(j == n ? kLinearBColumn : j, i, u16(rows[i][j]));
    }
    return grid;
}

Outcome solve_grid(const TextGrid& grid, int n, uint32_t type, int digits) {
    Context context;
    std::u16string output;
    const uint32_t code = solve_linear_command(grid, LinearControls{n, type, digits}, &output);
    Outcome outcome{code, utf16_to_utf8(output), utf16_to_utf8(compose_message(message_state, string_table))};
    clear_error_state();
    return outcome;
}

Outcome solve(const Rows& rows, uint32_t type, int digits = 10) {
    return solve_grid(grid_of(rows), static_cast<int>(rows.size()), type, digits);
}

struct SolveCase {
    const char* what;
    uint32_t type;
    Rows rows;
    const char* output;
};

const SolveCase kSolveCases[] = {
    {"unique real solution", kTypeReal, {{"1", "1", "3"}, {"1", "-1", "1"}}, "x1 = 2\r\nx2 = 1\r\n"},
    {"unique rational solution", kTypeRational, {{"3", "1", "1"}, {"1", "-1", "0"}}, "x1 = 1/4\r\nx2 = 1/4\r\n"},
    {"rational in real type", kTypeReal, {{"3", "1", "1"}, {"1", "-1", "0"}}, "x1 = 0.25\r\nx2 = 0.25\r\n"},
    {"unique complex solution", kTypeComplex, {{"1+i", "1", "1"}, {"1", "-i", "0"}}, "x1 = 1\r\nx2 = -i\r\n"},
    {"pivot needs a row exchange", kTypeReal, {{"0", "1", "2"}, {"1", "0", "3"}}, "x1 = 3\r\nx2 = 2\r\n"},
    {"one equation and two empty rows",
     kTypeReal,
     {{"1", "1", "1", "1"}, {"", "", "", ""}, {"", "", "", ""}},
     "x1 = 1-s-r\r\nx2 = r\r\nx3 = s\r\n\r\nThe parameter variables r, s are freely selectable.\r\n"},
    {"identical equations",
     kTypeReal,
     {{"1", "1", "1"}, {"1", "1", "1"}},
     "x1 = 1-r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"contradicting equations", kTypeReal, {{"1", "1", "1"}, {"1", "1", "2"}}, "Equation system is unsolvable!\r\n"},
    {"contradiction in the rationals",
     kTypeRational,
     {{"2", "4", "1"}, {"1", "2", "1"}},
     "Equation system is unsolvable!\r\n"},
    {"all cells empty",
     kTypeReal,
     {{"", "", ""}, {" ", "\t", ""}},
     "x1 = r\r\nx2 = s\r\n\r\nThe parameter variables r, s are freely selectable.\r\n"},
    {"cancellation below 10^-d counts as singular",
     kTypeReal,
     {{"1", "1/3", "1"}, {"3", "1", "3"}},
     "x1 = 1-0.3333333333*r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"exact fractions never cancel to zero",
     kTypeRational,
     {{"1", "1/3", "1"}, {"3", "1", "3"}},
     "x1 = 1-1/3*r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"parameter coefficient with both complex parts",
     kTypeComplex,
     {{"1", "1+i", "2"}, {"", "", ""}},
     "x1 = 2+(-1-i)*r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"imaginary parameter coefficient",
     kTypeComplex,
     {{"1", "2i", "3"}, {"", "", ""}},
     "x1 = 3-2i*r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"signed parameter coefficient",
     kTypeReal,
     {{"1", "-2", "3"}, {"", "", ""}},
     "x1 = 3+2*r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"parameter term written first",
     kTypeRational,
     {{"2", "1", "0"}, {"", "", ""}},
     "x1 = -1/2*r\r\nx2 = r\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"zero solution", kTypeReal, {{"1", "2", "0"}, {"3", "4", "0"}}, "x1 = 0\r\nx2 = 0\r\n"},
    // A column without a pivot must not hide a consistent system: x2 + x3 = 0 is solvable.
    {"zero first column",
     kTypeReal,
     {{"0", "1", "1", "0"}, {"", "", "", ""}, {"", "", "", ""}},
     "x1 = r\r\nx2 = -s\r\nx3 = s\r\n\r\nThe parameter variables r, s are freely selectable.\r\n"},
    {"zero first column, dependent rows",
     kTypeReal,
     {{"0", "1", "0", "1"}, {"0", "1", "0", "1"}, {"0", "0", "1", "1"}},
     "x1 = r\r\nx2 = 1\r\nx3 = 1\r\n\r\nThe parameter variable r is freely selectable.\r\n"},
    {"zero first column, contradiction",
     kTypeReal,
     {{"0", "1", "1"}, {"0", "1", "2"}},
     "Equation system is unsolvable!\r\n"},
    {"formulas in cells",
     kTypeReal,
     {{"2^2", "sqrt(4)", "6+2"}, {"1", "-1", "abs(-1)"}},
     "x1 = 1.666666667\r\nx2 = 0.6666666667\r\n"},
};

TEST(LinearSolve, WritesTheDocumentedOutputs) {
    for (const auto& c : kSolveCases) {
        const Outcome outcome = solve(c.rows, c.type);
        EXPECT_EQ(outcome.code, 0u) << c.what << ": " << outcome.message;
        EXPECT_EQ(outcome.output, c.output) << c.what;
    }
}

TEST(LinearSolve, ReadsOnlyTheVisibleColumnsAndTheBColumn) {
    TextGrid grid = grid_of({{"1", "1", "3"}, {"1", "-1", "1"}});
    grid.set_cell_text(2, 0, u"junk(");   // a3, hidden at n = 2
    grid.set_cell_text(26, 1, u"junk(");  // the filler column
    const Outcome outcome = solve_grid(grid, 2, kTypeReal, 10);
    EXPECT_EQ(outcome.code, 0u) << outcome.message;
    EXPECT_EQ(outcome.output, "x1 = 2\r\nx2 = 1\r\n");
}

struct MessageCase {
    const char* what;
    Rows rows;
    uint32_t code;
    const char* message;
};

const MessageCase kMessageCases[] = {
    {"formula error names equation and column",
     {{"1", "1", "3"}, {"1", "1", "1+"}},
     kMsgGridCellFormula,
     "Error evaluating coefficient in equation 2, column \"b\": Unexpected end of formula!"},
    {"syntax error position",
     {{"1", "2)", "3"}, {"1", "1", "1"}},
     kMsgGridCellFormula,
     "Error evaluating coefficient in equation 1, column \"a2\": For the right parenthesis at character position 2 "
     "the left parenthesis is missing!"},
    {"the first bad cell wins",
     {{"1", "1", "3"}, {"(", "1", "1+"}},
     kMsgGridCellFormula,
     "Error evaluating coefficient in equation 2, column \"a1\": Unexpected end of formula!"},
    {"1031 characters are too long",
     {{"1", std::string(1031, '1'), "3"}, {"1", "1", "1"}},
     kMsgGridCellTooLong,
     "The coefficient in equation 1, column \"a2\" is too long!"},
    {"overflow during back substitution",
     {{"1e-3000000000000000000", "0", "1e3000000000000000000"}, {"0", "1", "1"}},
     kMsgOverflow,
     "Overflow in mathematical calculation!"},
};

TEST(LinearSolve, ReportsMessagesAndWritesNothing) {
    for (const auto& c : kMessageCases) {
        const Outcome outcome = solve(c.rows, kTypeReal);
        EXPECT_EQ(outcome.code, c.code) << c.what;
        EXPECT_EQ(outcome.message, c.message) << c.what;
        EXPECT_EQ(outcome.output, "") << c.what;
    }
}

TEST(LinearSolve, AcceptsACellOf1030Characters) {
    const std::string cell = "1" + std::string(1029, ' ');
    const Outcome outcome = solve({{cell, "1", "3"}, {"1", "-1", "1"}}, kTypeReal);
    EXPECT_EQ(outcome.code, 0u) << outcome.message;
    EXPECT_EQ(outcome.output, "x1 = 2\r\nx2 = 1\r\n");
}

TEST(LinearSolve, RationalOverflowContinuesInReals) {
    // At 5 digits (one limb) numerators and denominators hold 32 bits; the elimination outgrows them.
    const Rows rows = {{"1", "99991/99989", "1"}, {"99971/99961", "2", "2"}};
    const Outcome outcome = solve(rows, kTypeRational, 5);
    ASSERT_EQ(outcome.code, 0u) << outcome.message;
    const mpq_class a11(1), a12(99991, 99989), a21(99971, 99961), a22(2);
    const mpq_class det = a11 * a22 - a12 * a21;
    const mpq_class x1 = (1 * a22 - a12 * 2) / det, x2 = (a11 * 2 - a21 * 1) / det;
    const size_t p1 = outcome.output.find("x1 = "), p2 = outcome.output.find("x2 = ");
    ASSERT_NE(p1, std::string::npos);
    ASSERT_NE(p2, std::string::npos);
    const std::string t1 = outcome.output.substr(p1 + 5, outcome.output.find('\r', p1) - p1 - 5);
    const std::string t2 = outcome.output.substr(p2 + 5, outcome.output.find('\r', p2) - p2 - 5);
    EXPECT_EQ(t1.find('/'), std::string::npos) << t1;  // fell back to a decimal number
    EXPECT_NEAR(std::stod(t1) / x1.get_d(), 1.0, 1e-4) << t1;
    EXPECT_NEAR(std::stod(t2) / x2.get_d(), 1.0, 1e-4) << t2;
}

TEST(LinearSolve, ListsManyParametersWithAnEllipsis) {
    Rows rows(8, std::vector<std::string>(9, ""));
    rows[0] = {"1", "1", "", "", "", "", "", "", "5"};
    const Outcome outcome = solve(rows, kTypeReal);
    ASSERT_EQ(outcome.code, 0u) << outcome.message;
    EXPECT_NE(
        outcome.output.find("x1 = 5-r\r\nx2 = r\r\nx3 = s\r\nx4 = t\r\nx5 = u\r\nx6 = v1\r\nx7 = v2\r\nx8 = v3\r\n"),
        std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("\r\nThe parameter variables r, s, t, u, v1, \u2026, v3 are freely selectable.\r\n"),
              std::string::npos)
        << outcome.output;
}

TEST(LinearSolve, CutsAnOverlongSolutionText) {
    // 25 unknowns, one equation with 1000-digit coefficients: x1 carries 24 long parameter terms.
    Rows rows(25, std::vector<std::string>(26, ""));
    for (int j = 0; j < 26; ++j) rows[0][j] = j == 0 ? "3" : "1/7+" + std::to_string(j);
    const Outcome outcome = solve(rows, kTypeReal, 1000);
    ASSERT_EQ(outcome.code, 0u) << outcome.message;
    const std::u16string out = u16(outcome.output);
    const size_t end = out.find(u"\r\n");
    ASSERT_EQ(out.compare(0, 5, u"x1 = "), 0);
    EXPECT_EQ(end - 5, static_cast<size_t>(kSolutionTextChars));
    EXPECT_EQ(out[end - 1], u'\u2026');
}

struct NameCase {
    int k;
    const char16_t* name;
};
const NameCase kNames[] = {{1, u"r"}, {2, u"s"}, {3, u"t"}, {4, u"u"}, {5, u"v1"}, {6, u"v2"}, {25, u"v21"}};

TEST(LinearParameters, NamesAndLists) {
    for (const auto& c : kNames) EXPECT_EQ(parameter_name(c.k), c.name) << c.k;
    const NameCase lists[] = {{1, u"r"},
                              {2, u"r, s"},
                              {6, u"r, s, t, u, v1, v2"},
                              {7, u"r, s, t, u, v1, \u2026, v3"},
                              {25, u"r, s, t, u, v1, \u2026, v21"}};
    for (const auto& c : lists) EXPECT_EQ(parameter_list(c.k), c.name) << c.k;
}

// ---- Randomised systems against exact solutions -----------------------------------------------------------------

using Matrix = std::vector<std::vector<mpq_class>>;  // n rows of n + 1 entries

// Exact Gaussian elimination: the unique solution, or false when the matrix is singular.
bool exact_solution(Matrix m, std::vector<mpq_class>* x) {
    const size_t n = m.size();
    for (size_t j = 0; j < n; ++j) {
        size_t p = j;
        while (p < n && m[p][j] == 0) ++p;
        if (p == n) return false;
        std::swap(m[p], m[j]);
        for (size_t r = 0; r < n; ++r) {
            if (r == j || m[r][j] == 0) continue;
            const mpq_class q = m[r][j] / m[j][j];
            for (size_t k = j; k <= n; ++k) m[r][k] -= q * m[j][k];
        }
    }
    x->resize(n);
    for (size_t i = 0; i < n; ++i) (*x)[i] = m[i][n] / m[i][i];
    return true;
}

Rows rows_of(const Matrix& m) {
    Rows rows;
    for (const auto& row : m) {
        rows.emplace_back();
        for (const auto& v : row) rows.back().push_back(v.get_str());
    }
    return rows;
}

std::vector<std::string> solution_lines(const std::string& output) {
    std::vector<std::string> values;
    size_t at = 0;
    while ((at = output.find(" = ", at)) != std::string::npos) {
        const size_t end = output.find("\r\n", at);
        values.push_back(output.substr(at + 3, end - at - 3));
        at = end;
    }
    return values;
}

TEST(LinearRandom, RationalSystemsMatchExactSolutions) {
    std::mt19937_64 rng(20261206);
    std::uniform_int_distribution<int> entry(-30, 30), size(2, 7);
    int checked = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const size_t n = static_cast<size_t>(size(rng));
        Matrix m(n, std::vector<mpq_class>(n + 1));
        for (auto& row : m) {
            for (auto& v : row) v = mpq_class(entry(rng), (entry(rng) & 3) + 1), v.canonicalize();
        }
        std::vector<mpq_class> x;
        if (!exact_solution(m, &x)) continue;
        const Outcome outcome = solve(rows_of(m), kTypeRational, 100);
        ASSERT_EQ(outcome.code, 0u) << outcome.message;
        const std::vector<std::string> got = solution_lines(outcome.output);
        ASSERT_EQ(got.size(), n) << outcome.output;
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(got[i], x[i].get_str()) << "trial " << trial << " x" << i + 1 << "\n" << outcome.output;
        }
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

TEST(LinearRandom, SingularRationalSystemsAreSolvableExactlyWhenConsistent) {
    std::mt19937_64 rng(77);
    std::uniform_int_distribution<int> entry(-9, 9), size(3, 6), coin(0, 1);
    for (int trial = 0; trial < 40; ++trial) {
        const size_t n = static_cast<size_t>(size(rng));
        Matrix m(n, std::vector<mpq_class>(n + 1));
        for (size_t i = 0; i + 1 < n; ++i) {
            for (auto& v : m[i]) v = entry(rng);
        }
        // The last row is a combination of two others; its b is off by one when the system is to be inconsistent.
        const int c1 = entry(rng), c2 = entry(rng);
        const bool consistent = coin(rng) == 1;
        for (size_t k = 0; k <= n; ++k) m[n - 1][k] = c1 * m[0][k] + c2 * m[1][k];
        if (!consistent) m[n - 1][n] += 1;
        const Rows rows = rows_of(m);
        Context context;
        LinearSystem system;
        setup_linear_system(&system, static_cast<int>(n), kTypeRational, 60);
        const TextGrid grid = grid_of(rows);
        std::u16string output;
        ASSERT_EQ(solve_linear_command(grid, LinearControls{static_cast<int>(n), kTypeRational, 60}, &output), 0u);
        if (!consistent) {
            EXPECT_EQ(utf16_to_utf8(output), "Equation system is unsolvable!\r\n") << "trial " << trial;
            continue;
        }
        // Solve again through the record and check A (c0 + sum c_e p_e) = b for every choice of parameters.
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j <= n; ++j) evaluate_formula(linear_entry(&system, i, j), u16(rows[i][j]).c_str());
        }
        LinearSolution solution;
        eliminate(&system, &solution);
        ASSERT_EQ(solution.variables, static_cast<int>(n)) << "trial " << trial;
        ASSERT_GE(solution.parameters, 1);
        for (int e = 0; e <= solution.parameters; ++e) {
            std::vector<mpq_class> c(n);
            for (size_t i = 0; i < n; ++i) {
                c[i] = mpq_class(utf16_to_utf8(value_to_ring(solution_entry(solution, static_cast<int>(i), e), 0)));
            }
            for (size_t i = 0; i < n; ++i) {
                mpq_class sum = 0;
                for (size_t j = 0; j < n; ++j) sum += m[i][j] * c[j];
                EXPECT_TRUE(sum == (e == 0 ? m[i][n] : mpq_class(0)))
                    << "trial " << trial << " row " << i << " entry " << e;
            }
        }
        clear_error_state();
    }
}

// The decimal text as an exact rational (plain and scientific forms).
mpq_class decimal_value(const std::string& text) {
    mpfr_t v;
    mpfr_init2(v, 4000);
    EXPECT_EQ(mpfr_set_str(v, text.c_str(), 10, MPFR_RNDN), 0) << text;
    mpq_class q;
    mpfr_get_q(q.get_mpq_t(), v);
    mpfr_clear(v);
    return q;
}

TEST(LinearRandom, RealSystemsMatchExactSolutionsToTheDigits) {
    std::mt19937_64 rng(4242);
    std::uniform_int_distribution<int> entry(-99, 99), size(2, 8);
    const int digits_choice[] = {10, 30, 100, 400};
    int checked = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const size_t n = static_cast<size_t>(size(rng));
        const int digits = digits_choice[trial % 4];
        Matrix m(n, std::vector<mpq_class>(n + 1));
        for (auto& row : m) {
            for (auto& v : row) v = entry(rng);
        }
        std::vector<mpq_class> x;
        if (!exact_solution(m, &x)) continue;
        const Outcome outcome = solve(rows_of(m), kTypeReal, digits);
        ASSERT_EQ(outcome.code, 0u) << outcome.message;
        const std::vector<std::string> got = solution_lines(outcome.output);
        ASSERT_EQ(got.size(), n) << outcome.output;
        // Rounded to `digits` significant digits: relative error below 10^(3 - digits) leaves room for the elimination.
        ++checked;
        mpq_class tolerance(1);
        for (int k = 0; k < digits - 3; ++k) tolerance /= 10;
        for (size_t i = 0; i < n; ++i) {
            const mpq_class error = abs(decimal_value(got[i]) - x[i]);
            EXPECT_TRUE(error <= tolerance * abs(x[i])) << "trial " << trial << " digits " << digits << " x" << i + 1
                                                        << " = " << got[i] << " exact " << x[i].get_d();
        }
    }
    EXPECT_GT(checked, 35);
}

std::string complex_formula(long re, long im) {
    std::string text(1, '(');
    text += std::to_string(re);
    text += ")+(";
    text += std::to_string(im);
    text += ")*i";
    return text;
}

// The text of a Gaussian integer as the complex writer forms it.
std::string gaussian_text(long re, long im) {
    if (im == 0) return std::to_string(re);
    std::string imag = im == 1 ? "" : im == -1 ? "-" : std::to_string(im);
    if (re == 0) return imag + "i";
    return std::to_string(re) + (im > 0 ? "+" : "") + imag + "i";
}

TEST(LinearRandom, ComplexSystemsWithGaussianIntegerSolutions) {
    std::mt19937_64 rng(99);
    std::uniform_int_distribution<int> entry(-9, 9), size(2, 5);
    int checked = 0;
    for (int trial = 0; trial < 25; ++trial) {
        const size_t n = static_cast<size_t>(size(rng));
        std::vector<std::vector<long>> re(n, std::vector<long>(n)), im = re;
        std::vector<long> xr(n), xi(n);
        for (size_t i = 0; i < n; ++i) {
            xr[i] = entry(rng);
            xi[i] = entry(rng);
            for (size_t j = 0; j < n; ++j) re[i][j] = entry(rng), im[i][j] = entry(rng);
        }
        Rows rows(n);
        for (size_t i = 0; i < n; ++i) {
            long br = 0, bi = 0;
            for (size_t j = 0; j < n; ++j) {
                br += re[i][j] * xr[j] - im[i][j] * xi[j];
                bi += re[i][j] * xi[j] + im[i][j] * xr[j];
                rows[i].push_back(complex_formula(re[i][j], im[i][j]));
            }
            rows[i].push_back(complex_formula(br, bi));
        }
        const Outcome outcome = solve(rows, kTypeComplex, 30);
        ASSERT_EQ(outcome.code, 0u) << outcome.message;
        if (outcome.output.find("freely") != std::string::npos) continue;  // a singular draw
        const std::vector<std::string> got = solution_lines(outcome.output);
        ASSERT_EQ(got.size(), n) << outcome.output;
        ++checked;
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(got[i], gaussian_text(xr[i], xi[i])) << "trial " << trial << " x" << i + 1;
    }
    EXPECT_GT(checked, 20);
}

}  // namespace
