// Exact roots of an algebraic equation with rational coefficients (numerator and denominator one 64-bit word each):
// the roots are found numerically, then rational roots are recognised and divided out, and a remaining quadratic
// factor gets closed forms such as 1/2+3/2*sqrt(5) or -sqrt(2)*i. All exact work runs on rationals at two real
// limbs; a result that no longer fits falls back to a real value, and the affected root then simply gets no exact
// text.
#pragma once

#include <cstdint>

#include "equations/algebraic_equation.h"

// Coefficients a_0 .. a_degree as rational Values at two real limbs (kExactCoefficientLimbs).
struct RationalEquation {
    int32_t degree;
    uint64_t coefficients[kMaxEquationCoefficients][kExactCoefficientLimbs + 1];
};

struct SquareFreeSplit {
    uint64_t s;
    uint64_t r;
};

// m = s^2 * r with r square-free, for m >= 1.
SquareFreeSplit square_free_split(uint64_t m);

// Reads the coefficient rows as rationals (installs two limbs and the rational type); sets a message and returns
// false on failure.
bool read_rational_coefficients(const CoefficientRows& rows, int degree, RationalEquation* equation);

// Finds the roots of the equation numerically and fills the exact texts. digits, limbs, real_only and
// format_flags of the solution must be set; a precision below 22 digits is raised to 22 for the solve and the roots
// rounded back. The roots come out ordered, merged and (real_only) filtered. A failure sets a message and
// root_count = -1.
void exact_roots(const RationalEquation& equation, EquationSolution* solution);

// Searches the numerical roots in slots 0..root_count-1 for rational roots of the equation (degree >= 3), divides
// each one found out and writes its text; a remaining linear or quadratic factor gets its texts in the first
// unrecognised slots.
void rational_root_search(const RationalEquation& equation, EquationSolution* solution);

// The two roots of a_2*x^2 + a_1*x + a_0 (rationals at two limbs) as texts in slots k1 (the "+" root) and k2; when
// both are written, the numerical roots of those slots are replaced by the closed form at the solution's L and
// digits.
void quadratic_exact_text(const uint64_t* a0, const uint64_t* a1, const uint64_t* a2, EquationSolution* solution,
                          int k1, int k2);
