#include "equations/linear_system.h"

#include "formula/formula_eval.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

constexpr int kSlotUnsolvable = 81;
constexpr int kSlotOneParameter = 82;
constexpr int kSlotParameters = 83;
constexpr size_t kParameterListChars = 31;

size_t words_of_value(uint32_t number_type, int32_t limbs) {
    const size_t real_words = static_cast<size_t>(limbs) + 1;
    switch (number_type) {
        case kTypeReal:
        case kTypeRational:
            return real_words;
        case kTypeComplex:
            return 2 * real_words;
        default:
            return 0;
    }
}

bool is_zero(const Value* v) {
    switch (num_ctx.number_type) {
        case kTypeRational:
            return rational_is_zero(v);
        case kTypeComplex:
            return real_is_zero(complex_real(v)) && real_is_zero(complex_imag(v));
        default:
            return real_is_zero(v);
    }
}

// A real part below 10^-digits in magnitude: a normalised nonzero x has 1 <= |x| / 10^E < 10, so |x| < 10^-digits
// exactly when E < -digits.
void clear_if_tiny(RealNum* x, int digits) {
    if (!real_is_zero(x) && real_exponent(x) < -static_cast<int64_t>(digits)) real_set_zero(x);
}

// Values that cancel to below 10^-digits count as exact zeros; exact fractions are never touched.
void cleanup(Value* v, int digits) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            clear_if_tiny(v, digits);
            return;
        case kTypeRational:
            if (!rational_is_exact(v)) clear_if_tiny(v, digits);
            return;
        case kTypeComplex:
            clear_if_tiny(complex_real(v), digits);
            clear_if_tiny(complex_imag(v), digits);
            return;
        default:
            return;
    }
}

// |v| for real and rational values, the modulus (in the real part) for complex values.
int compare_magnitudes(const Value* a, const Value* b) {
    if (num_ctx.number_type == kTypeRational) return rational_compare(a, b);
    return real_compare(a, b);
}

// v += t * x, then the cleanup.
void add_product(Value* v, const Value* t, const Value* x, Value* scratch, int digits) {
    value_mul(scratch, t, x);
    value_add(v, v, scratch);
    cleanup(v, digits);
}

void install(uint32_t number_type, int32_t limbs) {
    if (limbs < 1 || limbs > kMaxUserLimbs) {
        raise_error(kErrLimbCount);
        return;
    }
    num_ctx.real_limbs = limbs;
    num_ctx.number_type = number_type;
}

std::u16string decimal_text(int64_t n) {
    std::u16string digits;
    const bool negative = n < 0;
    uint64_t v = negative ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (negative) digits.insert(digits.begin(), u'-');
    return digits;
}

std::u16string column_name(int j, int n) {
    std::u16string name(j == n ? u"b" : u"a");
    if (j < n) name += decimal_text(j + 1);
    return name;
}

bool is_blank(const std::u16string& text) {
    for (const char16_t c : text) {
        if (c != u' ' && c != u'\t') return false;
    }
    return true;
}

// Replaces the first "%s" of a string-table pattern.
std::u16string fill_pattern(const char16_t* pattern, const std::u16string& argument) {
    std::u16string text(pattern);
    const size_t at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, argument);
    return text;
}

// Reads cell (i, j) into the matrix; false after setting message 3400 or 3401.
bool read_cell(LinearSystem* system, const GridCells& grid, int i, int j) {
    const int n = system->equations;
    Value* entry = linear_entry(system, i, j);
    const std::u16string text = grid.cell_text(j == n ? kLinearBColumn : j, i);
    if (text.size() > kLinearCellChars) {
        set_message(kMsgGridCellTooLong, decimal_text(i + 1), column_name(j, n));
        return false;
    }
    if (is_blank(text)) {
        value_set_int(entry, 0);
        return true;
    }
    evaluate_formula(entry, text.c_str());
    if (formula_result.formula_error != kFormulaOk) {
        message_state.formula_error = formula_result.formula_error;
        message_state.formula_error_pos = formula_result.formula_error_pos;
        set_message(kMsgGridCellFormula, decimal_text(i + 1), column_name(j, n));
        return false;
    }
    return true;
}

}  // namespace

void setup_linear_system(LinearSystem* system, int n, uint32_t number_type, int digits) {
    if (n > kMaxEquations) n = kMaxEquations;
    if (n < 1) n = 1;
    system->number_type = number_type;
    system->limbs = (digits + 21) / 19;
    system->digits = digits;
    system->equations = n;
    system->value_words = words_of_value(number_type, system->limbs);
    if (system->value_words == 0) raise_error(kErrNumberType);
    const size_t row_words = static_cast<size_t>(n + 1) * system->value_words;
    system->storage.assign(static_cast<size_t>(n) * row_words, 0);
    for (int i = 0; i < kMaxEquations; ++i) {
        system->rows[i] =
            i < n && row_words != 0 ? system->storage.data() + static_cast<size_t>(i) * row_words : nullptr;
    }
}

void eliminate(LinearSystem* system, LinearSolution* solution) {
    clear_error_state();
    install(system->number_type, system->limbs);
    const int n = system->equations;
    const int digits = system->digits;
    const size_t words = system->value_words;
    solution->variables = n;
    solution->parameters = 0;
    solution->number_type = system->number_type;
    solution->limbs = system->limbs;
    solution->value_words = words;
    solution->digits = digits;
    for (Value*& row : solution->rows) row = nullptr;
    if (words == 0) raise_error(kErrNumberType);

    ScratchFrame frame;
    Value* best = scratch_take(words);
    Value* magnitude = scratch_take(words);
    Value* q = scratch_take(words);
    Value* product = scratch_take(words);

    // Forward elimination into row echelon form. A column without a nonzero entry at or below the pivot row is
    // skipped and the pivot row stays, so every row below the last pivot row ends with zero coefficients.
    int pivot_column[kMaxEquations];
    int rank = 0;
    for (int j = 0; j < n && rank < n && num_ctx.error_code == 0; ++j) {
        const int p = rank;
        value_abs(best, linear_entry(system, p, j));
        for (int r = p + 1; r < n; ++r) {
            value_abs(magnitude, linear_entry(system, r, j));
            if (compare_magnitudes(magnitude, best) > 0) {
                Value* row = system->rows[r];
                system->rows[r] = system->rows[p];
                system->rows[p] = row;
                value_copy(best, magnitude);
            }
        }
        if (is_zero(best)) continue;
        const Value* pivot = linear_entry(system, p, j);
        for (int r = p + 1; r < n; ++r) {
            Value* head = linear_entry(system, r, j);
            if (is_zero(head)) continue;
            value_div(q, head, pivot);
            value_negate(q, q);
            value_set_int(head, 0);
            for (int k = j + 1; k <= n; ++k)
                add_product(linear_entry(system, r, k), linear_entry(system, p, k), q, product, digits);
        }
        pivot_column[rank++] = j;
    }

    // Rows without a pivot read 0 = b_i: any nonzero b_i makes the system unsolvable.
    if (num_ctx.error_code == 0) {
        for (int r = rank; r < n; ++r) {
            if (!is_zero(linear_entry(system, r, n))) solution->variables = -1;
        }
    }

    // Back substitution from the last unknown down: a free unknown becomes the next parameter, a pivot unknown is
    // solved from its pivot row.
    const int f = n - rank;
    if (num_ctx.error_code == 0 && solution->variables > 0) {
        solution->parameters = f;
        const size_t row_words = static_cast<size_t>(f + 1) * words;
        solution->storage.assign(static_cast<size_t>(n) * row_words, 0);
        for (int i = 0; i < n; ++i) solution->rows[i] = solution->storage.data() + static_cast<size_t>(i) * row_words;
        int pivot_row_of[kMaxEquations];
        for (int c = 0; c < n; ++c) pivot_row_of[c] = -1;
        for (int r = 0; r < rank; ++r) pivot_row_of[pivot_column[r]] = r;

        int m = 0;
        for (int c = n - 1; c >= 0 && num_ctx.error_code == 0; --c) {
            Value* x = solution->rows[c];
            for (int e = 0; e <= f; ++e) value_set_int(x + e * words, 0);
            const int r = pivot_row_of[c];
            if (r < 0) {
                ++m;
                value_set_int(x + m * words, 1);
                continue;
            }
            value_copy(x, linear_entry(system, r, n));
            for (int k = c + 1; k < n; ++k) {
                const Value* a = linear_entry(system, r, k);
                if (is_zero(a)) continue;
                value_negate(q, a);
                const Value* xk = solution->rows[k];
                for (int e = 0; e <= f; ++e) {
                    if (!is_zero(xk + e * words)) add_product(x + e * words, q, xk + e * words, product, digits);
                }
            }
            const Value* pivot = linear_entry(system, r, c);
            for (int e = 0; e <= f; ++e) {
                Value* v = x + e * words;
                value_div(v, v, pivot);
                cleanup(v, digits);
            }
        }
        if (num_ctx.error_code == 0) {
            for (int i = 0; i < n; ++i) {
                for (int e = 0; e <= f; ++e)
                    value_round_digits(solution->rows[i] + e * words, solution->rows[i] + e * words, digits);
            }
        }
    }

    if (num_ctx.error_code != 0) {
        set_message(kMsgOverflow);
        solution->variables = 0;
        solution->parameters = 0;
    }
}

std::u16string parameter_name(int k) {
    static const char16_t kFirst[] = u"rstu";
    if (k >= 1 && k <= 4) return std::u16string(1, kFirst[k - 1]);
    std::u16string name(u"v");
    name += decimal_text(k - 4);
    return name;
}

std::u16string parameter_list(int f) {
    std::u16string list;
    for (int k = 1; k <= f; ++k) {
        if (k > 1) list += u", ";
        if (k == 6 && f > 6) {
            list += u"\u2026, ";
            list += parameter_name(f);
            break;
        }
        list += parameter_name(k);
    }
    if (list.size() > kParameterListChars) {
        list.resize(kParameterListChars - 1);
        list += u'\u2026';
    }
    return list;
}

std::u16string solution_text(const LinearSolution& solution, int i) {
    const uint32_t flags = static_cast<uint32_t>(solution.digits) & kFmtDigitMask;
    const int f = solution.parameters;
    std::u16string text;
    bool written = false;
    const Value* c0 = solution_entry(solution, i, 0);
    if (!is_zero(c0)) {
        text += value_to_ring(c0, flags);
        written = true;
    }
    for (int e = 1; e <= f; ++e) {
        const Value* c = solution_entry(solution, i, e);
        if (is_zero(c)) continue;
        const std::u16string name = parameter_name(f - e + 1);
        if (value_compare_int(c, 1) == 0) {
            if (written) text += u'+';
        } else if (value_compare_int(c, -1) == 0) {
            text += u'-';
        } else if (solution.number_type == kTypeComplex && !real_is_zero(complex_real(c)) &&
                   !real_is_zero(complex_imag(c))) {
            if (written) text += u'+';
            text += u'(';
            text += value_to_ring(c, flags);
            text += u")*";
        } else {
            text += value_to_ring(c, written ? flags | kFmtAlwaysSign : flags);
            text += u'*';
        }
        text += name;
        written = true;
    }
    if (!written) text = u"0";
    if (text.size() > static_cast<size_t>(kSolutionTextChars)) {
        text.resize(kSolutionTextChars - 1);
        text += u'\u2026';
    }
    return text;
}

uint32_t solve_linear_command(const GridCells& grid, const LinearControls& controls, std::u16string* output) {
    clear_error_state();
    output->clear();
    LinearSystem system;
    setup_linear_system(&system, controls.equation_count, controls.number_type, controls.digits);
    install(system.number_type, system.limbs);
    if (num_ctx.error_code != 0) {
        set_message(kMsgOverflow);
        return message_state.message_code;
    }
    const int n = system.equations;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= n; ++j) {
            if (!read_cell(&system, grid, i, j)) return message_state.message_code;
        }
    }

    LinearSolution solution;
    eliminate(&system, &solution);
    if (message_state.message_code != 0) return message_state.message_code;
    if (solution.variables < 0) {
        *output = string_table.text[kSlotUnsolvable];
        return kMsgNone;
    }
    for (int i = 0; i < solution.variables; ++i) {
        *output += u'x';
        *output += decimal_text(i + 1);
        *output += u" = ";
        *output += solution_text(solution, i);
        *output += u"\r\n";
    }
    const int f = solution.parameters;
    if (f >= 1)
        *output += fill_pattern(string_table.text[f == 1 ? kSlotOneParameter : kSlotParameters], parameter_list(f));
    return kMsgNone;
}
