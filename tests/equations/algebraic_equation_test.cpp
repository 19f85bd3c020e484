#include "equations/algebraic_equation.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formula/complex_num.h"
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

std::string utf8(const std::u16string& text) {
    return utf16_to_utf8(text);
}

std::u16string utf16(const std::string& text) {
    std::u16string out;
    utf8_to_utf16(text, out);
    return out;
}

struct Outcome {
    uint32_t code;
    std::string output;
    std::string param1;
    uint32_t formula_error;
};

// Solves with the window's controls; coefficients highest first, named as the window names its rows.
Outcome solve(const std::vector<std::string>& coefficients, int digits, bool real_only, bool exact,
              bool multiplicity = true) {
    init_once();
    const int degree = static_cast<int>(coefficients.size()) - 1;
    CoefficientRows rows;
    for (int r = 0; r <= degree; ++r) {
        rows.texts.push_back(utf16(coefficients[static_cast<size_t>(r)]));
        rows.names.push_back(coefficient_row_name(degree - r));
    }
    EquationControls controls{degree, real_only ? 1 : 0, exact ? 1 : 0, digits, multiplicity ? 1 : 0};
    std::u16string output;
    Outcome out{solve_equation(controls, rows, &output), utf8(output), utf8(message_state.message_param1),
                message_state.formula_error};
    clear_error_state();
    return out;
}

// ---- The Solve command, approximation path ---------------------------------------------------------------------

struct OutputCase {
    std::vector<std::string> coefficients;  // highest first
    int digits;
    bool real_only;
    bool multiplicity;
    const char* output;
};

const OutputCase kApproximationCases[] = {
    {{"1", "", "-2"}, 10, true, true, "x1 ≈ -1.414213562   [1]\r\nx2 ≈ 1.414213562   [1]\r\n"},
    {{"1", "0", "-3", "2"}, 10, true, true, "x1 ≈ -2   [1]\r\nx2 ≈ 1   [2]\r\n"},
    {{"1", "0", "1"}, 10, true, true, "The equation has no real solutions."},
    {{"1", "0", "1"}, 10, false, true, "x1 ≈ -i   [1]\r\nx2 ≈ i   [1]\r\n"},
    {{"1", "", "", ""}, 10, true, true, "x1 ≈ 0   [3]\r\n"},
    {{"2", "-1"}, 10, true, true, "x1 ≈ 0.5   [1]\r\n"},
    {{"1", "-2", "1"}, 10, false, true, "x1 ≈ 1   [2]\r\n"},
    {{"1", "-2", "1"}, 10, false, false, "x1 ≈ 1\r\n"},
    {{"1", "0", "-3", "2"}, 10, true, false, "x1 ≈ -2\r\nx2 ≈ 1\r\n"},
    // Zero roots are divided out first and appended; real filtering keeps them.
    {{"1", "0", "1", "0"}, 10, true, true, "x1 ≈ 0   [1]\r\n"},
    {{"1", "0", "1", "0"}, 10, false, true, "x1 ≈ 0   [1]\r\nx2 ≈ -i   [1]\r\nx3 ≈ i   [1]\r\n"},
    // Non-real roots: by real part, then |imaginary part|, the negative imaginary part first.
    {{"1", "-2", "2"}, 10, false, true, "x1 ≈ 1-i   [1]\r\nx2 ≈ 1+i   [1]\r\n"},
    {{"1", "0", "5", "0", "4"},
     10,
     false,
     true,
     "x1 ≈ -i   [1]\r\nx2 ≈ i   [1]\r\nx3 ≈ -2i   [1]\r\nx4 ≈ 2i   [1]\r\n"},
    // Complex coefficients in complex mode.
    {{"1", "-2i"}, 10, false, true, "x1 ≈ 2i   [1]\r\n"},
    {{"1", "-3-i", "2+2i"}, 10, false, true, "x1 ≈ 2   [1]\r\nx2 ≈ 1+i   [1]\r\n"},
    // Formulas as coefficients; blanks and tabs read as 0.
    {{"2^2/4", " \t ", "-sqrt(4)"}, 10, true, true, "x1 ≈ -1.414213562   [1]\r\nx2 ≈ 1.414213562   [1]\r\n"},
    // Roots rounded to the digits asked for.
    {{"3", "-1"}, 5, true, true, "x1 ≈ 0.33333   [1]\r\n"},
    {{"1", "0", "-2"},
     30,
     true,
     true,
     "x1 ≈ -1.41421356237309504880168872421   [1]\r\nx2 ≈ 1.41421356237309504880168872421   [1]\r\n"},
    // Start values and roots share the real part 1, which settles at once; the imaginary parts still converge.
    {{"1", "-2", "7"},
     30,
     false,
     true,
     "x1 ≈ 1-2.44948974278317809819728407471i   [1]\r\nx2 ≈ 1+2.44948974278317809819728407471i   [1]\r\n"},
    // x^2 - 2 moves the first approximation exactly onto the second in the first step.
    {{"1", "0", "-2"}, 10, false, true, "x1 ≈ -1.414213562   [1]\r\nx2 ≈ 1.414213562   [1]\r\n"},
    // A triple root among simple ones; degree 10 with the ten roots 1..10 (Wilkinson-like).
    {{"1", "-3", "3", "-1"}, 10, true, true, "x1 ≈ 1   [3]\r\n"},
    {{"1", "-55", "1320", "-18150", "157773", "-902055", "3416930", "-8409500", "12753576", "-10628640", "3628800"},
     12,
     true,
     true,
     "x1 ≈ 1   [1]\r\nx2 ≈ 2   [1]\r\nx3 ≈ 3   [1]\r\nx4 ≈ 4   [1]\r\nx5 ≈ 5   [1]\r\nx6 ≈ 6   [1]\r\nx7 ≈ 7   [1]\r\n"
     "x8 ≈ 8   [1]\r\nx9 ≈ 9   [1]\r\nx10 ≈ 10   [1]\r\n"},
};

TEST(SolveEquation, WritesTheApproximationLines) {
    for (const auto& c : kApproximationCases) {
        const Outcome out = solve(c.coefficients, c.digits, c.real_only, false, c.multiplicity);
        EXPECT_EQ(out.code, 0u) << c.output;
        EXPECT_EQ(out.output, c.output) << "first coefficient " << c.coefficients[0] << ", degree "
                                        << c.coefficients.size() - 1;
    }
}

struct MessageCase {
    std::vector<std::string> coefficients;
    bool real_only;
    bool exact;
    uint32_t code;
    const char* name;
};

const std::string kLongText(1031, '1');
const std::string kLongestText = std::string(1029, ' ') + "1";

const MessageCase kMessageCases[] = {
    {{"0", "1", "1"}, true, false, kMsgLeadingCoefficientZero, "a2"},
    {{"", "1", "1"}, true, false, kMsgLeadingCoefficientZero, "a2"},
    {{"0*i", "1"}, false, false, kMsgLeadingCoefficientZero, "a1"},
    {{"1", "2+", "1"}, true, false, kMsgCoefficientFormula, "a1"},
    {{"1", "1", "1e-30i"}, true, false, kMsgCoefficientNotReal, "a0"},
    {{"i", "1"}, true, false, kMsgCoefficientNotReal, "a1"},
    {{"1", kLongText}, true, false, kMsgCoefficientTooLong, "a0"},
    {{"1", kLongText}, true, true, kMsgCoefficientTooLong, "a0"},
    // The first message of the rows, top to bottom, wins.
    {{"1", "x", kLongText}, true, false, kMsgCoefficientFormula, "a1"},
    {{"0", "x"}, true, false, kMsgLeadingCoefficientZero, "a1"},
    {{"sqrt(2)", "1"}, true, true, kMsgCoefficientNotRational, "a1"},
    {{"1", "1/0"}, true, true, kMsgCoefficientNotRational, "a0"},
    {{"1", "18446744073709551616"}, true, true, kMsgCoefficientNotRational, "a0"},
    {{"0", "1"}, true, true, kMsgLeadingCoefficientZero, "a1"},
};

TEST(SolveEquation, RefusesBadCoefficientsWithTheirMessage) {
    for (const auto& c : kMessageCases) {
        const Outcome out = solve(c.coefficients, 10, c.real_only, c.exact);
        EXPECT_EQ(out.code, c.code) << c.coefficients[0] << " / " << c.coefficients[1].substr(0, 20);
        EXPECT_EQ(out.param1, c.name) << c.code;
        EXPECT_EQ(out.output, "") << c.code;
    }
}

TEST(SolveEquation, KeepsTheFormulaErrorForTheMessage) {
    const Outcome out = solve({"1", "2+"}, 10, true, false);
    EXPECT_EQ(out.code, kMsgCoefficientFormula);
    EXPECT_NE(out.formula_error, 0u);
}

TEST(SolveEquation, AcceptsTheLongestCoefficientText) {
    const Outcome out = solve({"1", kLongestText}, 10, true, false);
    EXPECT_EQ(out.code, 0u);
    EXPECT_EQ(out.output, "x1 ≈ -1   [1]\r\n");
}

TEST(SolveEquation, RefusesAPrecisionBeyondTheLimbLimit) {
    // Degree 10 with 750 digits needs 520 limbs and is solved elsewhere; 800 digits would need 555.
    EXPECT_EQ(equation_working_limbs(10, 750), 520);
    const Outcome out = solve({"1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "-1"}, 800, true, false);
    EXPECT_EQ(out.code, kMsgInternal);
    EXPECT_EQ(out.output, "");
}

// ---- Working precision and window limits -----------------------------------------------------------------------

struct PrecisionCase {
    int degree;
    int digits;
    int limbs;
};

const PrecisionCase kPrecisionCases[] = {
    {2, 10, 2}, {10, 10, 7}, {4, 2000, 458}, {10, 750, 520}, {1, 5, 1}, {9, 10, 7}, {3, 1, 1},
};

TEST(WorkingPrecision, FollowsTheDegreeTable) {
    for (const auto& c : kPrecisionCases) {
        EXPECT_EQ(equation_working_limbs(c.degree, c.digits), c.limbs) << c.degree << " " << c.digits;
    }
    EXPECT_EQ(degree_precision_factor(9), 84);
    EXPECT_EQ(degree_precision_factor(10), 76);
    EXPECT_EQ(degree_precision_factor(0), 1000);
    // Every degree at its largest window precision fits the 527 limbs.
    for (int n = 1; n <= kMaxEquationDegree; ++n) {
        EXPECT_LE(equation_working_limbs(n, equation_precision_maximum(n)), kMaxUserLimbs) << n;
    }
    EXPECT_EQ(equation_precision_maximum(4), 2000);
    EXPECT_EQ(equation_precision_maximum(5), 1000);
    EXPECT_EQ(equation_precision_maximum(8), 750);
}

// ---- Root finder pieces ----------------------------------------------------------------------------------------

struct Records {
    std::unique_ptr<EquationInput> input = std::make_unique<EquationInput>();
    std::unique_ptr<EquationSolution> solution = std::make_unique<EquationSolution>();
};

// Coefficients a_0 .. a_n as complex texts, at the working precision of degree n and d digits.
Records prepare(const std::vector<std::u16string>& lowest_first, int digits, bool real_only) {
    init_once();
    Records r;
    const int n = static_cast<int>(lowest_first.size()) - 1;
    r.solution->limbs = equation_working_limbs(n, digits);
    r.solution->digits = digits;
    r.solution->real_only = real_only ? 1 : 0;
    r.solution->format_flags = 0;
    num_ctx.real_limbs = r.solution->limbs;
    r.input->degree = n;
    for (int i = 0; i <= n; ++i) {
        complex_parse(r.input->coefficients[i], lowest_first[static_cast<size_t>(i)].c_str(), -1, 0);
    }
    return r;
}

std::string root_text(const EquationSolution& s, int i) {
    num_ctx.real_limbs = s.limbs;
    char16_t buffer[4000];
    const int length = complex_format(buffer, 4000, s.roots[i], 0);
    return utf8(std::u16string(buffer, static_cast<size_t>(length)));
}

TEST(SolvePolynomial, RawOrderKeepsTheRootsAsFoundThenTheZeroRoots) {
    // x^4 - x^2 = x^2 (x - 1)(x + 1): the two roots of x^2 - 1, then two zero roots, unmerged.
    Records r = prepare({u"0", u"0", u"-1", u"0", u"1"}, 10, true);
    solve_polynomial(*r.input, r.solution.get(), 1);
    ASSERT_EQ(r.solution->root_count, 4);
    std::vector<std::string> found;
    for (int i = 0; i < 4; ++i) {
        found.push_back(root_text(*r.solution, i));
        EXPECT_EQ(r.solution->multiplicity[i], 1u);
        EXPECT_EQ(r.solution->exact_text[i][0], 0);
    }
    std::sort(found.begin(), found.begin() + 2);
    EXPECT_EQ(found, (std::vector<std::string>{"-1", "1", "0", "0"}));
    // The input record is left as it was.
    num_ctx.real_limbs = r.solution->limbs;
    EXPECT_TRUE(real_is_zero(complex_real(r.input->coefficients[0])));
    EXPECT_EQ(real_compare_i64(complex_real(r.input->coefficients[2]), -1), 0);
}

TEST(SolvePolynomial, RefusesADigitCountTheWorkingPrecisionCannotCarry) {
    Records r = prepare({u"-2", u"0", u"1"}, 10, true);
    r.solution->digits = 10;
    r.solution->limbs = 1;  // f(2) * 1 * 19 / 1000 = 9 digits fit one limb
    solve_polynomial(*r.input, r.solution.get(), 0);
    EXPECT_EQ(r.solution->root_count, -1);
    EXPECT_EQ(message_state.message_code, kMsgInternal);
    clear_error_state();
}

TEST(SimultaneousIteration, RefusesBrokenPreconditions) {
    const std::vector<std::vector<std::u16string>> kBroken = {
        {u"1", u"1"},             // degree 1
        {u"0", u"1", u"1"},       // a_0 = 0
        {u"1", u"0", u"2"},       // not monic
        {u"1", u"0", u"1+0.5i"},  // leading coefficient not real
    };
    for (const auto& coefficients : kBroken) {
        Records r = prepare(coefficients, 10, false);
        simultaneous_iteration(*r.input, r.solution.get());
        EXPECT_EQ(r.solution->root_count, -1) << coefficients.size();
        EXPECT_EQ(message_state.message_code, kMsgInternal);
        clear_error_state();
    }
}

TEST(SimultaneousIteration, ReportsNoConvergenceWithinTheSweepLimit) {
    // The roots +-10^50 lie far from the start values; 3 * n * d = 30 sweeps cannot bring the approximations there.
    const Outcome out = solve({"1", "0", "-1e100"}, 5, true, false);
    EXPECT_EQ(out.code, kMsgNotConverged);
    EXPECT_EQ(out.output, "");
    Records r = prepare({u"-1e100", u"0", u"1"}, 5, true);
    simultaneous_iteration(*r.input, r.solution.get());
    EXPECT_EQ(r.solution->root_count, -1);
    EXPECT_EQ(message_state.message_code, kMsgNotConverged);
    clear_error_state();
}

// The plain table through which the tests hand grid cells to the engine.
class TableCells : public GridCells {
  public:
    explicit TableCells(std::vector<std::u16string> cells) : cells_(std::move(cells)) {}
    int row_count() const override { return static_cast<int>(cells_.size()); }
    int column_count() const override { return 1; }
    std::u16string cell_text(int column, int row) const override {
        if (column != 0 || row < 0 || row >= row_count()) return {};
        return cells_[static_cast<size_t>(row)];
    }
    int set_cell_text(int column, int row, std::u16string_view text) override {
        if (column != 0 || row < 0 || row >= row_count()) return -1;
        cells_[static_cast<size_t>(row)] = std::u16string(text);
        return 0;
    }

  private:
    std::vector<std::u16string> cells_;
};

TEST(CoefficientRows, ReadsTheGridTopDownAsTheHighestCoefficientFirst) {
    const TableCells grid({u"1", u"", u"-2"});
    const CoefficientRows rows = coefficient_rows_from_grid(grid, 2);
    EXPECT_EQ(rows.texts, (std::vector<std::u16string>{u"1", u"", u"-2"}));
    EXPECT_EQ(rows.names, (std::vector<std::u16string>{u"a2", u"a1", u"a0"}));
    // Rows missing from the grid read as blank cells.
    const CoefficientRows longer = coefficient_rows_from_grid(grid, 10);
    EXPECT_EQ(longer.names.front(), u"a10");
    EXPECT_EQ(longer.texts.back(), u"");
}

TEST(CoefficientRows, TakesNoNameFromAHeaderOfEightCharacters) {
    init_once();
    CoefficientRows rows;
    rows.texts = {u"0", u"1"};
    rows.names = {u"a123456", u"a1234567"};
    EquationControls controls{1, 1, 0, 10, 1};
    std::u16string output;
    EXPECT_EQ(solve_equation(controls, rows, &output), kMsgLeadingCoefficientZero);
    EXPECT_EQ(message_state.message_param1, u"a123456");
    clear_error_state();
    rows.texts = {u"x", u"1"};
    rows.names = {u"a1234567", u"a0"};
    EXPECT_EQ(solve_equation(controls, rows, &output), kMsgCoefficientFormula);
    EXPECT_EQ(message_state.message_param1, u"");
    clear_error_state();
}

// Five ring values, newest at `current`.
struct NegligibleCase {
    const char16_t* values[5];
    int current;
    bool negligible;
};

const NegligibleCase kNegligibleCases[] = {
    // Agreeing within 10^-4 relative: kept, whatever the size.
    {{u"1e-20", u"1e-20", u"1.00001e-20", u"1e-20", u"1e-20"}, 4, false},
    {{u"0", u"0", u"0", u"0", u"0"}, 2, false},
    // A disagreeing pair among the four: negligible when small.
    {{u"1e-20", u"-1e-20", u"1e-20", u"1e-20", u"1e-20"}, 4, true},
    {{u"1e-20", u"2e-20", u"1e-20", u"1e-20", u"1e-20"}, 0, true},
    {{u"0", u"0", u"0", u"1e-30", u"0"}, 4, true},
    {{u"0.0999", u"0.0999", u"0.0999", u"0.1", u"0.0999"}, 4, true},
    // ... and kept when |newest| >= 0.1.
    {{u"0.1", u"0.2", u"0.3", u"0.4", u"0.1"}, 4, false},
    {{u"-0.5", u"0.5", u"-0.5", u"0.5", u"-0.5"}, 4, false},
    // The relative bound is strict and taken as newer / older.
    {{u"1.0001e-3", u"1e-3", u"1e-3", u"1e-3", u"1e-3"}, 0, true},
    {{u"1.0001e-3", u"1.0001e-3", u"1.0001e-3", u"1.0001e-3", u"1e-3"}, 4, false},
    {{u"0.01", u"0.01", u"0.01", u"0.01", u"0.0100009"}, 0, false},
    {{u"0.01", u"0.01", u"0.01", u"0.01", u"0.0100011"}, 0, true},
    // The ring wraps: with current = 1 the pairs are (1,0), (0,4), (4,3), (3,2); slot 2 is never newer.
    {{u"1e-9", u"1e-9", u"1e-9", u"1e-9", u"1e-9"}, 1, false},
    {{u"1e-9", u"1e-9", u"5e-9", u"1e-9", u"1e-9"}, 1, true},
};

TEST(NegligiblePartTest, JudgesTheFourNewestPairs) {
    init_once();
    num_ctx.real_limbs = 3;
    std::vector<std::vector<uint64_t>> storage(5, std::vector<uint64_t>(4));
    for (const auto& c : kNegligibleCases) {
        const RealNum* h[5];
        for (int i = 0; i < 5; ++i) {
            real_parse(storage[static_cast<size_t>(i)].data(), c.values[i], -1, 0);
            h[i] = storage[static_cast<size_t>(i)].data();
        }
        EXPECT_EQ(negligible_part_test(h, c.current), c.negligible)
            << utf8(c.values[0]) << " " << utf8(c.values[4]) << " current " << c.current;
    }
    EXPECT_EQ(num_ctx.error_code, 0u);
}

TEST(OrderRoots, SortsAndMergesWithTheirTextsAndMultiplicities) {
    init_once();
    auto s = std::make_unique<EquationSolution>();
    s->limbs = 2;
    num_ctx.real_limbs = 2;
    const char16_t* kRoots[] = {u"1+i", u"2", u"1-i", u"-3", u"2", u"1+2i", u"-0.5i", u"2", u"0.5i", u"1-i"};
    for (int i = 0; i < 10; ++i) {
        complex_parse(s->roots[i], kRoots[i], -1, 0);
        s->multiplicity[i] = static_cast<uint32_t>(i + 1);
        s->exact_text[i][0] = static_cast<char16_t>(u'A' + i);
        s->exact_text[i][1] = 0;
    }
    s->root_count = 10;
    order_roots(s.get());
    struct Expected {
        const char* root;
        uint32_t multiplicity;
        char16_t text;
    };
    const Expected kExpected[] = {
        {"-3", 4, u'D'},       {"2", 2 + 5 + 8, u'B'}, {"-0.5i", 7, u'G'}, {"0.5i", 9, u'I'},
        {"1-i", 3 + 10, u'C'}, {"1+i", 1, u'A'},       {"1+2i", 6, u'F'},
    };
    ASSERT_EQ(s->root_count, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(root_text(*s, i), kExpected[i].root) << i;
        EXPECT_EQ(s->multiplicity[i], kExpected[i].multiplicity) << i;
        EXPECT_EQ(s->exact_text[i][0], kExpected[i].text) << i;
    }
}

TEST(WriteEquationResult, MarksValuesComputedWhileAnErrorWasPending) {
    init_once();
    auto s = std::make_unique<EquationSolution>();
    s->limbs = 1;
    s->root_count = 1;
    s->multiplicity[0] = 1;
    s->exact_text[0][0] = 0;
    num_ctx.real_limbs = 1;
    complex_parse(s->roots[0], u"2", -1, 0);
    raise_error(kErrDivByZero);
    std::u16string out;
    write_equation_result(*s, 0, true, &out);
    EXPECT_EQ(utf8(out), "x1 ≈ !2   [1]\r\n");
    clear_error_state();
}

// ---- Randomised: polynomials of known roots --------------------------------------------------------------------

// A root as decimal texts of 150 digits (exact for the rational roots), with its multiplicity.
struct KnownRoot {
    std::string re;
    std::string im;
    unsigned multiplicity;
};

std::string decimal_of(const mpfr_t x) {
    char buffer[200];
    mpfr_snprintf(buffer, sizeof buffer, "%.150Re", x);
    return buffer;
}

// The order of the solver: real first; by real part; by |imaginary part|; negative imaginary part first.
bool root_before(const KnownRoot& u, const KnownRoot& v) {
    const double ur = std::stod(u.re), ui = std::stod(u.im), vr = std::stod(v.re), vi = std::stod(v.im);
    if ((ui == 0) != (vi == 0)) return ui == 0;
    if (ur != vr || ui == 0) return ur < vr;
    if (std::fabs(ui) != std::fabs(vi)) return std::fabs(ui) < std::fabs(vi);
    return ui < vi;
}

// True when the engine's part is the known value rounded to d significant digits (within half a unit of the
// d-th digit).
bool matches_rounded(const RealNum* part, const std::string& known, int digits) {
    char16_t buffer[4000];
    const int length = real_format(buffer, 4000, part, kFmtScientific, 19 * num_ctx.real_limbs);
    mpfr_t got, want, unit;
    mpfr_inits2(1000, got, want, unit, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(got, utf8(std::u16string(buffer, static_cast<size_t>(length))).c_str(), 10, MPFR_RNDN);
    mpfr_set_str(want, known.c_str(), 10, MPFR_RNDN);
    bool ok = mpfr_zero_p(got) != 0;
    if (!mpfr_zero_p(want)) {
        mpfr_abs(unit, want, MPFR_RNDN);
        mpfr_log10(unit, unit, MPFR_RNDN);
        mpfr_floor(unit, unit);
        const long e = mpfr_get_si(unit, MPFR_RNDN);
        mpfr_set_ui(unit, 10, MPFR_RNDN);
        mpfr_pow_si(unit, unit, e - digits + 1, MPFR_RNDN);
        mpfr_mul_d(unit, unit, 0.5000001, MPFR_RNDN);
        mpfr_sub(got, got, want, MPFR_RNDN);
        ok = mpfr_cmpabs(got, unit) <= 0;
    }
    mpfr_clears(got, want, unit, static_cast<mpfr_ptr>(nullptr));
    return ok;
}

struct RandomPolynomial {
    std::vector<mpz_class> coefficients;  // lowest first
    std::vector<KnownRoot> roots;         // distinct, with multiplicities, in the solver's order
    std::string description;
};

// Products of linear factors (q x - p), q in {1, 2, 4, 5, 8} (short decimal roots, so a multiple root found to
// fewer digits still rounds right), some repeated, and of quadratics x^2 + b x + c with irrational or complex
// roots. Distinct roots stay at least 0.05 apart.
RandomPolynomial random_polynomial(std::mt19937_64& rng, int degree) {
    static const long kDenominators[] = {1, 2, 4, 5, 8};
    for (;;) {
        RandomPolynomial poly;
        poly.coefficients = {1};
        std::vector<std::pair<double, double>> placed;
        auto multiply = [&poly](const std::vector<mpz_class>& factor) {
            std::vector<mpz_class> out(poly.coefficients.size() + factor.size() - 1, 0);
            for (size_t i = 0; i < poly.coefficients.size(); ++i)
                for (size_t j = 0; j < factor.size(); ++j) out[i + j] += poly.coefficients[i] * factor[j];
            poly.coefficients = out;
        };
        bool rejected = false;
        auto place = [&](const mpfr_t re, const mpfr_t im, unsigned multiplicity) {
            const double x = mpfr_get_d(re, MPFR_RNDN), y = mpfr_get_d(im, MPFR_RNDN);
            for (const auto& p : placed) rejected = rejected || std::hypot(p.first - x, p.second - y) < 0.05;
            placed.emplace_back(x, y);
            poly.roots.push_back({decimal_of(re), decimal_of(im), multiplicity});
        };
        mpfr_t re, im, w;
        mpfr_inits2(600, re, im, w, static_cast<mpfr_ptr>(nullptr));
        for (int left = degree; left > 0;) {
            if (left >= 2 && rng() % 3 == 0) {
                const long b = static_cast<long>(rng() % 13) - 6, c = static_cast<long>(rng() % 21) - 10;
                const long disc = b * b - 4 * c;
                if (disc >= 0 && mpz_perfect_square_p(mpz_class(disc).get_mpz_t())) continue;
                mpfr_sqrt_ui(w, static_cast<unsigned long>(std::labs(disc)), MPFR_RNDN);
                mpfr_div_ui(w, w, 2, MPFR_RNDN);
                for (int sign : {1, -1}) {
                    mpfr_set_si(re, -b, MPFR_RNDN);
                    mpfr_div_ui(re, re, 2, MPFR_RNDN);
                    mpfr_set_zero(im, 1);
                    mpfr_mul_si(w, w, sign, MPFR_RNDN);
                    mpfr_add(disc < 0 ? im : re, disc < 0 ? im : re, w, MPFR_RNDN);
                    place(re, im, 1);
                }
                multiply({c, b, 1});
                poly.description += "(x^2" + std::string(b < 0 ? "" : "+") + std::to_string(b) + "x" +
                                    (c < 0 ? "" : "+") + std::to_string(c) + ")";
                left -= 2;
            } else {
                const long q = kDenominators[rng() % 5], p = static_cast<long>(rng() % 41) - 20;
                const int multiplicity = static_cast<int>(std::min<uint64_t>(rng() % 4 == 0 ? 1 + rng() % 3 : 1, left));
                mpfr_set_si(re, p, MPFR_RNDN);
                mpfr_div_si(re, re, q, MPFR_RNDN);
                mpfr_set_zero(im, 1);
                place(re, im, static_cast<unsigned>(multiplicity));
                for (int k = 0; k < multiplicity; ++k) multiply({-p, q});
                poly.description += '(';
                poly.description += std::to_string(q) + "x" + (p > 0 ? "-" : "+") + std::to_string(std::labs(p)) +
                                    ")^" + std::to_string(multiplicity);
                left -= multiplicity;
            }
        }
        mpfr_clears(re, im, w, static_cast<mpfr_ptr>(nullptr));
        if (rejected) continue;
        std::sort(poly.roots.begin(), poly.roots.end(), root_before);
        return poly;
    }
}

TEST(SolvePolynomial, FindsTheKnownRootsOfRandomProducts) {
    std::mt19937_64 rng(20261206);
    const int kDigits[] = {10, 16, 30, 45};
    for (int trial = 0; trial < 45; ++trial) {
        const int degree = 2 + trial % 9;
        const int digits = kDigits[(trial / 9) % 4];
        const RandomPolynomial poly = random_polynomial(rng, degree);
        std::vector<std::u16string> texts;
        for (const auto& c : poly.coefficients) texts.push_back(utf16(c.get_str()));
        for (const bool real_only : {false, true}) {
            if (real_only && trial % 3 != 0) continue;
            Records r = prepare(texts, digits, real_only);
            solve_polynomial(*r.input, r.solution.get(), 0);
            const EquationSolution& s = *r.solution;
            std::vector<KnownRoot> expected;
            for (const auto& root : poly.roots) {
                if (!real_only || std::stod(root.im) == 0) expected.push_back(root);
            }
            const std::string label =
                poly.description + " digits " + std::to_string(digits) + (real_only ? " real" : " complex");
            ASSERT_EQ(s.root_count, static_cast<int>(expected.size())) << label;
            EXPECT_EQ(num_ctx.error_code, 0u) << label;
            num_ctx.real_limbs = s.limbs;
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

// The largest case of the window (degree 10, 750 digits, 520 limbs) stays within the scratch region and gives
// every temporary back. The roots are the start values (1 + i)^k themselves, so the iteration settles after five
// sweeps while taking the same temporaries as any solve of that size.
TEST(SolvePolynomial, LargestCaseFitsTheScratchRegion) {
    std::vector<mpz_class> re = {1}, im = {0};  // coefficients a_0 .. a_k of prod (x - (1 + i)^k)
    mpz_class root_re = 1, root_im = 0;
    std::vector<std::string> expected;
    for (int k = 0; k < 10; ++k) {
        std::vector<mpz_class> next_re(re.size() + 1, 0), next_im(im.size() + 1, 0);
        for (size_t i = 0; i < re.size(); ++i) {
            next_re[i + 1] += re[i];
            next_im[i + 1] += im[i];
            next_re[i] -= re[i] * root_re - im[i] * root_im;
            next_im[i] -= re[i] * root_im + im[i] * root_re;
        }
        re = next_re;
        im = next_im;
        const mpz_class t = root_re - root_im;
        root_im = root_re + root_im;
        root_re = t;
    }
    std::vector<std::u16string> texts;
    for (size_t i = 0; i < re.size(); ++i) {
        texts.push_back(utf16(re[i].get_str() + (im[i] < 0 ? "" : "+") + im[i].get_str() + "i"));
    }
    Records r = prepare(texts, 750, false);
    EXPECT_EQ(r.solution->limbs, 520);
    uint8_t* const top = num_ctx.scratch_top;
    solve_polynomial(*r.input, r.solution.get(), 0);
    EXPECT_EQ(num_ctx.error_code, 0u);
    EXPECT_EQ(num_ctx.scratch_top, top);
    ASSERT_EQ(r.solution->root_count, 10);
    std::vector<std::string> found;
    for (int i = 0; i < 10; ++i) found.push_back(root_text(*r.solution, i));
    EXPECT_EQ(found,
              (std::vector<std::string>{"-4", "1", "16", "-4-4i", "-2+2i", "2i", "-8i", "1+i", "8-8i", "16+16i"}));
    clear_error_state();
}

}  // namespace
