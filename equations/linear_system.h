// Systems of n linear equations a_i1*x1 + ... + a_in*xn = b_i (n = 1..25) in the rational, real or complex type:
// Gaussian elimination with the largest-magnitude pivot, a consistency test, and for a singular consistent system
// every unknown written as a linear expression in free parameter variables r, s, t, u, v1, v2, ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formula/value.h"
#include "grid/grid_cells.h"

inline constexpr int kMaxEquations = 25;
// Grid data columns of the linear-systems window: a1..a25 in 0..24, b in 25, an unnamed filler column in 26.
inline constexpr int kLinearBColumn = 25;
inline constexpr int kLinearGridColumns = 27;
// Longest cell text the solver reads; a longer one is refused with message 3400.
inline constexpr size_t kLinearCellChars = 1030;
// Longest text of one unknown; a longer one is cut and ends with "…".
inline constexpr int kSolutionTextChars = 10000;

// The matrix: row i holds n + 1 values of the number type, a_i1..a_in and b_i. Rows are exchanged by exchanging
// their references.
struct LinearSystem {
    uint32_t number_type;
    int32_t limbs;       // L = (digits + 21) / 19
    size_t value_words;  // words of one value: L + 1, complex 2 (L + 1)
    int digits;
    int equations;
    std::vector<Value> storage;
    Value* rows[kMaxEquations];
};

// The result: variables is n, -1 for an unsolvable system and 0 when the elimination failed. Solution row i holds
// parameters + 1 values: entry 0 is the constant part of x_i, entry e the coefficient of parameter e, numbered in
// the order of introduction during back substitution (from the highest free unknown down).
struct LinearSolution {
    int variables;
    int parameters;
    uint32_t number_type;
    int32_t limbs;
    size_t value_words;
    int digits;
    std::vector<Value> storage;
    Value* rows[kMaxEquations];
};

// What the window's controls hand the Solve command.
struct LinearControls {
    int equation_count;    // 2..25
    uint32_t number_type;  // kTypeRational, kTypeReal or kTypeComplex
    int digits;            // 5..1000
};

// Fills the header and the value storage for n equations (capped to 1..25) of the type at `digits` digits. An
// unsupported number type raises context error 3; the record then holds no values.
void setup_linear_system(LinearSystem* system, int n, uint32_t number_type, int digits);

// Entry j (0..n, n is b) of row i.
inline Value* linear_entry(LinearSystem* system, int i, int j) {
    return system->rows[i] + static_cast<size_t>(j) * system->value_words;
}
inline const Value* solution_entry(const LinearSolution& solution, int i, int e) {
    return solution.rows[i] + static_cast<size_t>(e) * solution.value_words;
}

// Solves the system in place (the matrix is destroyed). Clears the message state and error_code, installs the
// record's number type and limb count, and on any numeric error sets message 1001 and variables = 0.
void eliminate(LinearSystem* system, LinearSolution* solution);

// x_i (0-based) as text: constant part, then the parameter terms; "0" when all entries are zero. At most
// kSolutionTextChars characters. Needs the solution's number type and limb count installed.
std::u16string solution_text(const LinearSolution& solution, int i);

// r, s, t, u for k = 1..4, v1, v2, ... from k = 5.
std::u16string parameter_name(int k);

// The names of parameters 1..f joined by ", "; from f = 7 on the sixth entry is "…" and the list ends with the
// name of f.
std::u16string parameter_list(int f);

// The Solve command: clears the message state, reads the n x (n + 1) cells (columns 0..n-1 and the b column) as
// formulas, solves and writes the output-box text. Returns the message code (0 when none; the message is pending
// in message_state and the output is empty).
uint32_t solve_linear_command(const GridCells& grid, const LinearControls& controls, std::u16string* output);
