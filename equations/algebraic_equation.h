// Algebraic equations a_n*x^n + ... + a_1*x + a_0 = 0 of degree 1..10: the Solve command of the equations window,
// the simultaneous (Weierstrass / Durand-Kerner) root finder, the ordering and merging of equal roots, and the text
// written into the window's output box.
//
// The roots are computed at a working precision that grows with the degree (degree_precision_factor) well above
// the d digits asked for, and rounded to d digits; equal rounded roots become one root with a multiplicity.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grid/grid_cells.h"
#include "numeric/num_context.h"

inline constexpr int kMaxEquationDegree = 10;
inline constexpr int kMaxEquationCoefficients = kMaxEquationDegree + 1;
// One ComplexNum of full capacity: two parts of 527 limbs and a header each, used at the current L.
inline constexpr int kComplexSlotWords = 2 * (kMaxUserLimbs + 1);
inline constexpr int kExactTextChars = 100;
// Coefficient texts of this length or longer are refused.
inline constexpr int kMaxCoefficientChars = 1031;
// Limb count for the exact coefficients: one 64-bit word each for numerator and denominator.
inline constexpr int kExactCoefficientLimbs = 2;

// The result of one solve. roots[i], exact_text[i] and multiplicity[i] belong together.
struct EquationSolution {
    uint32_t format_flags;                                  // flags of the rational text of exact roots
    int32_t real_only;                                      // 1: keep the real roots only
    int32_t digits;                                         // d, significant digits of the roots
    int32_t limbs;                                          // L, the working precision
    int32_t root_count;                                     // -1 after a failure
    uint64_t roots[kMaxEquationDegree][kComplexSlotWords];  // ComplexNum at L limbs
    char16_t exact_text[kMaxEquationDegree][kExactTextChars + 1];
    uint32_t multiplicity[kMaxEquationDegree];
};

// The equation handed to the root finder: coefficients a_0 .. a_degree, each a ComplexNum at L limbs.
struct EquationInput {
    int32_t degree;
    uint64_t coefficients[kMaxEquationCoefficients][kComplexSlotWords];
};

// The controls of the equations window.
struct EquationControls {
    int32_t degree;        // 1..10
    int32_t real_only;     // mode "real" (1) or "complex" (0)
    int32_t exact;         // result type "Exact value" (1) or "Approximation" (0)
    int32_t digits;        // "Precision"
    int32_t multiplicity;  // "Multiplicity" checked (1)
};

// The coefficient cells top to bottom: texts[r] holds a_(degree - r), names[r] is the row header of that row.
struct CoefficientRows {
    std::vector<std::u16string> texts;
    std::vector<std::u16string> names;
};

// Working-precision factor f(n): the solve works with d * 1000 / f(n) digits.
int degree_precision_factor(int degree);
// The largest "Precision" of the window for a degree: 2000 up to degree 4, 1000 up to 7, else 750.
int equation_precision_maximum(int degree);
// Working limbs L = ceil(ceil(d * 1000 / f(n)) / 19), at least 1 (may exceed 527; the Solve command refuses that).
int equation_working_limbs(int degree, int digits);
// Row header of the grid row holding a_k: "a%d".
std::u16string coefficient_row_name(int k);

// The rows 0..degree of the first grid column, named as the window names them.
CoefficientRows coefficient_rows_from_grid(const GridCells& grid, int degree);

// The Solve command: clears the message state, chooses the working precision, reads the coefficient rows, runs
// the approximation or the exact path and returns the output-box text (empty when a message was set). The
// message, if any, is left pending in message_state for the caller to show. Returns the message code (0 for none).
uint32_t solve_equation(const EquationControls& controls, const CoefficientRows& rows, std::u16string* output);

// One coefficient row as the readers take it.
struct CoefficientRow {
    std::u16string_view name;  // for messages: the row header, empty when missing or longer than 7 characters
    const char16_t* text;      // the cell text, empty when missing
    bool blank;                // only spaces and tabs: the coefficient is 0
};

// Looks up row r (which holds a_(degree - r)) for a coefficient reader; a text of kMaxCoefficientChars characters or
// more sets kMsgCoefficientTooLong and returns false. row points into rows.
bool coefficient_row(const CoefficientRows& rows, int r, CoefficientRow* row);

// Reads the coefficient rows at the installed L and the complex type into input (approximation path); sets a
// message on failure and returns false.
bool read_complex_coefficients(const CoefficientRows& rows, int degree, bool real_only, EquationInput* input);

// The root finder. digits, limbs and real_only of the solution must be set. raw_order 0: roots ordered, merged and,
// with real_only, filtered; raw_order 1: in the order found, multiplicity 1 each. A failure sets a message and
// root_count = -1.
void solve_polynomial(const EquationInput& input, EquationSolution* solution, int raw_order);

// Simultaneous iteration on the monic polynomial a_0 .. a_(n-1), 1 of degree 2..10 (in input); fills roots and
// root_count = n, or sets message 2001 (no convergence) or 9000 (broken precondition) and root_count = -1.
void simultaneous_iteration(const EquationInput& monic, EquationSolution* solution);

// Whether the newest value h[current] of a part's convergence ring may be replaced by 0: the four neighbouring
// pairs, newest first, do not all agree within a relative 10^-4, and |h[current]| < 0.1. h are five RealNums at
// the current L.
bool negligible_part_test(const RealNum* const h[5], int current);

// Sorts the roots (real before non-real, then by real part, |imaginary part|, negative imaginary first) and merges
// runs of equal roots, adding their multiplicities.
void order_roots(EquationSolution* solution);

// Appends the result lines for the roots to output; exact_path writes whole-number approximations with ".0".
void write_equation_result(const EquationSolution& solution, int exact_path, bool show_multiplicity,
                           std::u16string* output);
