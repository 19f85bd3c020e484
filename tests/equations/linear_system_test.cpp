// The linear-systems solver: written solutions and parameter forms, messages, and random systems against exact
// arithmetic in GMP rationals.
#include "equations/linear_system.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formula/formula_eval.h"
#include "grid/text_grid.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;  // per equation: a1..an, b

std::u16string u16(const std::string& s) {
    std::u16string out;
    EXPECT_TRUE(utf8_to_utf16(s, out)) << s;
    return out;
}

TextGrid grid_of(const Rows& rows) {
    const int n = static_cast<int>(rows.size());
    TextGrid grid(kLinearGridColumns, n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= n; ++j) grid.set_cell_text(j == n ? kLinearBColumn : j, i, u16(rows[i][j]));
    }
    return grid;
}

// The Solve command's output, or its composed message when it wrote none.
std::string solve_grid(const TextGrid& grid, int n, uint32_t type, int digits) {
    static const bool initialised = (init_numeric_context(), true);
    (void)initialised;
    load_string_table(kLanguageEnglish);
    num_ctx.min_plain_exponent = -4;
    num_ctx.display_digits = 10;
    std::u16string output;
    const uint32_t code = solve_linear_command(grid, LinearControls{n, type, digits}, &output);
    EXPECT_TRUE(code == 0 ? !output.empty() : output.empty()) << code;
    const std::string text = utf16_to_utf8(code == 0 ? output : compose_message(message_state, string_table));
    clear_error_state();
    return text;
}

std::string solve(const Rows& rows, uint32_t type, int digits = 10) {
    return solve_grid(grid_of(rows), static_cast<int>(rows.size()), type, digits);
}

struct SolveCase {
    uint32_t type;
    Rows rows;
    const char* output;  // one without a final line end goes on with the sentence of the single parameter r
    int digits = 10;
};

const char kOneParameter[] = "\r\n\r\nThe parameter variable r is freely selectable.\r\n";
const char kUnsolvable[] = "Equation system is unsolvable!\r\n";
const uint32_t R = kTypeReal, Q = kTypeRational, C = kTypeComplex;

// clang-format off
const SolveCase kSolveCases[] = {
    {R, {{"1", "1", "3"}, {"1", "-1", "1"}}, "x1 = 2\r\nx2 = 1\r\n"},
    {Q, {{"3", "1", "1"}, {"1", "-1", "0"}}, "x1 = 1/4\r\nx2 = 1/4\r\n"},
    {C, {{"1+i", "1", "1"}, {"1", "-i", "0"}}, "x1 = 1\r\nx2 = -i\r\n"},
    {R, {{"2^2", "sqrt(4)", "6+2"}, {std::string(1029, ' ') + "1", "-1", "abs(-1)"}},
     "x1 = 1.666666667\r\nx2 = 0.6666666667\r\n"},
    // At 5 digits (one limb) rational parts hold 32 bits; the elimination outgrows them and goes on in reals.
    {Q, {{"1", "99991/99989", "1"}, {"99971/99961", "2", "2"}}, "x1 = -4.0009e-5\r\nx2 = 1\r\n", 5},
    {R, {{"1", "1", "1", "1"}, {"", "", "", ""}, {"", "", "", ""}},
     "x1 = 1-s-r\r\nx2 = r\r\nx3 = s\r\n\r\nThe parameter variables r, s are freely selectable.\r\n"},
    {R, {{"1", "1", "1"}, {"1", "1", "1"}}, "x1 = 1-r\r\nx2 = r"},
    {R, {{"1", "1", "1"}, {"1", "1", "2"}}, kUnsolvable},
    // Cancellation below 10^-d counts as singular; exact fractions never cancel to zero.
    {R, {{"1", "1/3", "1"}, {"3", "1", "3"}}, "x1 = 1-0.3333333333*r\r\nx2 = r"},
    {Q, {{"1", "1/3", "1"}, {"3", "1", "3"}}, "x1 = 1-1/3*r\r\nx2 = r"},
    // Parameter terms: sign, complex coefficient in parentheses, imaginary coefficient, term written first.
    {R, {{"1", "-2", "3"}, {"", "", ""}}, "x1 = 3+2*r\r\nx2 = r"},
    {C, {{"1", "1+i", "2"}, {"", "", ""}}, "x1 = 2+(-1-i)*r\r\nx2 = r"},
    {C, {{"1", "2i", "3"}, {"", "", ""}}, "x1 = 3-2i*r\r\nx2 = r"},
    {Q, {{"2", "1", "0"}, {"", "", ""}}, "x1 = -1/2*r\r\nx2 = r"},
    // A column without a pivot is skipped; the row-echelon walk must not hide a consistent system behind it.
    {R, {{"0", "1", "1", "0"}, {"", "", "", ""}, {"", "", "", ""}},
     "x1 = r\r\nx2 = -s\r\nx3 = s\r\n\r\nThe parameter variables r, s are freely selectable.\r\n"},
    {R, {{"0", "1", "0", "1"}, {"0", "1", "0", "1"}, {"0", "0", "1", "1"}}, "x1 = r\r\nx2 = 1\r\nx3 = 1"},
    {R, {{"0", "1", "1"}, {"0", "1", "2"}}, kUnsolvable},
    // Messages: the first bad cell wins and names its equation and column.
    {R, {{"1", "2)", "3"}, {"(", "1", "1+"}},
     "Error evaluating coefficient in equation 1, column \"a2\": For the right parenthesis at character position 2 "
     "the left parenthesis is missing!"},
    {R, {{"1", "1", "3"}, {"1", "1", "1+"}}, "Error evaluating coefficient in equation 2, column \"b\": Unexpected end of formula!"},
    {R, {{"1", std::string(1031, '1'), "3"}, {"1", "1", "1"}}, "The coefficient in equation 1, column \"a2\" is too long!"},
    {R, {{"1e-3000000000000000000", "0", "1e3000000000000000000"}, {"0", "1", "1"}}, "Overflow in mathematical calculation!"},
};
// clang-format on

TEST(LinearSolve, WritesTheDocumentedOutputsOrAMessageAlone) {
    for (const auto& c : kSolveCases) {
        const bool open = c.output[std::strlen(c.output) - 1] != '\n' && c.output[std::strlen(c.output) - 1] != '!';
        EXPECT_EQ(solve(c.rows, c.type, c.digits), c.output + std::string(open ? kOneParameter : ""))
            << c.rows[0][0] << " " << c.rows[0][1];
    }
    // Only the visible columns and the b column are read.
    TextGrid grid = grid_of({{"1", "1", "3"}, {"1", "-1", "1"}});
    grid.set_cell_text(2, 0, u"junk(");   // a3, hidden at n = 2
    grid.set_cell_text(26, 1, u"junk(");  // the filler column
    EXPECT_EQ(solve_grid(grid, 2, kTypeReal, 10), "x1 = 2\r\nx2 = 1\r\n");
    EXPECT_EQ(parameter_list(6), u"r, s, t, u, v1, v2");
    EXPECT_EQ(parameter_list(25), u"r, s, t, u, v1, \u2026, v21");
}

// ---- Randomised systems against exact arithmetic ----------------------------------------------------------------

using Matrix = std::vector<std::vector<mpq_class>>;  // n rows of n + 1 entries

// Exact Gauss-Jordan elimination: the unique solution, or false when the matrix is singular.
bool exact_solution(Matrix m, std::vector<mpq_class>* x) {
    const size_t n = m.size();
    for (size_t j = 0; j < n; ++j) {
        size_t p = j;
        while (p < n && m[p][j] == 0) ++p;
        if (p == n) return false;
        std::swap(m[p], m[j]);
        for (size_t r = 0; r < n; ++r) {
            const mpq_class q = m[r][j] / m[j][j];
            for (size_t k = j; k <= n && r != j; ++k) m[r][k] -= q * m[j][k];
        }
    }
    x->resize(n);
    for (size_t i = 0; i < n; ++i) (*x)[i] = m[i][n] / m[i][i];
    return true;
}

// The texts right of " = " on each output line.
std::vector<std::string> solution_lines(const std::string& output) {
    std::vector<std::string> values;
    for (size_t at = 0; (at = output.find(" = ", at)) != std::string::npos; at += 3) {
        values.push_back(output.substr(at + 3, output.find("\r\n", at) - at - 3));
    }
    return values;
}

// Random systems, a third of them singular by a last row that combines two others (its b off by one in another
// third, which makes them inconsistent). In the rational type every solution must satisfy A (c0 + sum c_e p_e) = b
// exactly for every choice of the parameters p_e; nonsingular ones have none and in the real type match the exact
// solution to a relative 10^(3 - digits), which leaves room for the elimination.
TEST(LinearRandom, SolutionsSatisfyTheSystemExactlyOrToTheDigits) {
    std::mt19937_64 rng(20261206);
    std::uniform_int_distribution<int> entry(-30, 30), size(3, 7);
    const int kDigits[] = {10, 30, 100, 400};
    int checked[3] = {0, 0, 0};
    mpfr_t v;
    mpfr_init2(v, 4000);
    for (int trial = 0; trial < 90; ++trial) {
        const size_t n = static_cast<size_t>(size(rng));
        Matrix m(n, std::vector<mpq_class>(n + 1));
        Rows rows(n);
        for (size_t i = 0; i < n; ++i) {
            for (size_t k = 0; k <= n; ++k) {
                m[i][k] = mpq_class(entry(rng), (entry(rng) & 3) + 1);
                m[i][k].canonicalize();
                if (i + 1 == n && trial % 3 != 0)
                    m[i][k] = 2 * m[0][k] - 3 * m[1][k] + (k == n && trial % 3 == 2 ? 1 : 0);
                rows[i].push_back(m[i][k].get_str());
            }
        }
        std::vector<mpq_class> x;
        if (trial % 3 == 0 && !exact_solution(m, &x)) continue;
        const std::string label = "trial " + std::to_string(trial) + ", first row " + rows[0][0] + " " + rows[0][1];
        static const bool initialised = (init_numeric_context(), true);
        (void)initialised;
        LinearSystem system;
        setup_linear_system(&system, static_cast<int>(n), kTypeRational, 100);
        num_ctx.number_type = kTypeRational;
        num_ctx.real_limbs = system.limbs;
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j <= n; ++j) evaluate_formula(linear_entry(&system, i, j), u16(rows[i][j]).c_str());
        }
        LinearSolution solution;
        eliminate(&system, &solution);
        ASSERT_EQ(solution.variables, trial % 3 == 2 ? -1 : static_cast<int>(n)) << label;
        EXPECT_TRUE(solution.variables < 0 || (solution.parameters == 0) == (trial % 3 == 0)) << label;
        for (int e = 0; e <= solution.parameters && solution.variables > 0; ++e) {
            std::vector<mpq_class> c(n);
            for (size_t i = 0; i < n; ++i) {
                c[i] = mpq_class(utf16_to_utf8(value_to_ring(solution_entry(solution, static_cast<int>(i), e), 0)));
            }
            for (size_t i = 0; i < n; ++i) {
                mpq_class sum = 0;
                for (size_t j = 0; j < n; ++j) sum += m[i][j] * c[j];
                EXPECT_TRUE(sum == (e == 0 ? m[i][n] : mpq_class(0))) << label << " row " << i << " e " << e;
            }
        }
        clear_error_state();
        ++checked[trial % 3];
        if (trial % 3 != 0) continue;
        const int digits = kDigits[trial / 3 % 4];
        const std::vector<std::string> decimals = solution_lines(solve(rows, kTypeReal, digits));
        ASSERT_EQ(decimals.size(), n) << label;
        mpq_class tolerance(1), q;
        for (int k = 0; k < digits - 3; ++k) tolerance /= 10;
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(mpfr_set_str(v, decimals[i].c_str(), 10, MPFR_RNDN), 0) << decimals[i];
            mpfr_get_q(q.get_mpq_t(), v);
            EXPECT_TRUE(abs(q - x[i]) <= tolerance * abs(x[i])) << label << " digits " << digits << " x" << i + 1;
        }
    }
    mpfr_clear(v);
    EXPECT_TRUE(checked[0] > 25 && checked[1] == 30 && checked[2] == 30);
}

}  // namespace
