// Polynomial calculation: the product of two to twelve polynomials, or the quotient and remainder of two, with
// coefficients of degree 0..20 in the rational, real or complex type, read from the rows of a grid as formulas.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formula/value.h"
#include "grid/grid_cells.h"

inline constexpr int kPolyMaxDegree = 20;
inline constexpr int kPolyCoefficients = kPolyMaxDegree + 1;
inline constexpr int kPolyMaxCount = 12;
// Grid data columns of the polynomial window: a20 in column 0 down to a0 in column 20, a filler column in 21.
inline constexpr int kPolyGridColumns = 22;
// Longest coefficient text read; a longer one is refused with message 3300.
inline constexpr size_t kPolyCellChars = 1030;

// a[k] is the coefficient of x^k, a Value of the current number type.
struct Polynomial {
    Value* a[kPolyCoefficients];
};

// What the window's controls hand the Multiply and Divide commands.
struct PolyControls {
    int polynomial_count;  // 2..12
    int max_degree;        // 1..20
    uint32_t number_type;  // kTypeRational, kTypeReal or kTypeComplex
    int digits;            // 5..1000
};

// The highest index with a nonzero coefficient; -1 for the zero polynomial.
int polynomial_degree(const Polynomial& p);

// Reads grid row p into target: coefficients above max_degree are 0, blank cells 0, the others formulas. False
// after setting message 3300 (a text of more than 1030 characters or a formula error).
bool read_polynomial(Polynomial* target, const GridCells& grid, int p, int max_degree);

// result = a * b; result must be neither a nor b (message 9000). A product above x^20 or a numeric error pending
// before a step sets message 1001.
void multiply_polynomials(Polynomial* result, const Polynomial* a, const Polynomial* b);

// a = quotient * b + remainder by long division; a zero b sets message 1002. Does nothing when quotient is the same
// polynomial as remainder, a or b.
void divide_polynomials(Polynomial* quotient, Polynomial* remainder, const Polynomial* a, const Polynomial* b);

// "a2*x^2 + a1*x + a0" for degree 2 and letter a; from degree 5 on the middle terms become "... + ". Empty above
// degree 100.
std::u16string term_text(int degree, char16_t letter);

// The Multiply and Divide commands: clear the message state, install type and precision, read the rows, compute and
// write the output-box text. Return the message code (0 when none; the message is pending in message_state and the
// output is empty). number_type is 0 afterwards.
uint32_t polynomial_multiply_command(const GridCells& grid, const PolyControls& controls, std::u16string* output);
uint32_t polynomial_divide_command(const GridCells& grid, const PolyControls& controls, std::u16string* output);
