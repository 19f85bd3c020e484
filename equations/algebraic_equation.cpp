#include "equations/algebraic_equation.h"

#include <cstring>

#include "equations/exact_roots.h"
#include "formula/complex_num.h"
#include "formula/formula_eval.h"
#include "numeric/real_arith.h"
#include "numeric/real_text.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

constexpr int kRingSlots = 5;
constexpr int kNoRealSolutionsSlot = 73;
// Names longer than this are not taken from the row header.
constexpr size_t kMaxNameChars = 7;

bool is_blank(const std::u16string& text) {
    for (char16_t c : text) {
        if (c != u' ' && c != u'\t') return false;
    }
    return true;
}

bool complex_is_zero(const ComplexNum* z) {
    return real_is_zero(complex_real(z)) && real_is_zero(complex_imag(z));
}

bool complex_is_exact_one(const ComplexNum* z) {
    return real_compare_i64(complex_real(z), 1) == 0 && real_is_zero(complex_imag(z));
}

void fail(EquationSolution* solution, uint32_t code) {
    set_message(code);
    solution->root_count = -1;
}

std::u16string decimal_text(int64_t value) {
    std::u16string out;
    uint64_t v = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (value < 0) out.insert(out.begin(), u'-');
    return out;
}

// The convergence record of the iteration: for every root and each of its two parts a ring of five values rounded
// to d digits. A value rounded to d digits has no nonzero limb after limb ceil(d / 19) - 1, so a slot keeps the
// header and that many limbs only; this keeps the record within the scratch region at every allowed precision.
struct ConvergenceRing {
    uint64_t* words;
    int slot_limbs;

    uint64_t* slot(int root, int part, int index) const {
        const int slot_words = slot_limbs + 1;
        return words + static_cast<size_t>(((root * 2 + part) * kRingSlots + index) * slot_words);
    }
};

// Rounds a part (at L) to d digits and keeps it in a slot.
void ring_store(const ConvergenceRing& ring, int root, int part, int index, const RealNum* x, int digits) {
    ScratchFrame frame;
    RealNum* rounded = scratch_real();
    real_round_digits(rounded, x, digits);
    uint64_t* slot = ring.slot(root, part, index);
    for (int i = 0; i <= ring.slot_limbs; ++i) slot[i] = rounded[i];
}

// Numeric equality of two slots: both zero, or the same sign, exponent and limbs.
bool ring_slots_equal(const ConvergenceRing& ring, const uint64_t* a, const uint64_t* b) {
    if (a[1] == 0 || b[1] == 0) return a[1] == 0 && b[1] == 0;
    for (int i = 0; i <= ring.slot_limbs; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

bool part_settled(const ConvergenceRing& ring, int root, int part) {
    const uint64_t* first = ring.slot(root, part, 0);
    for (int i = 1; i < kRingSlots; ++i) {
        if (!ring_slots_equal(ring, first, ring.slot(root, part, i))) return false;
    }
    return true;
}

// A slot widened to a RealNum at the current L (the missing limbs are zero).
void ring_load(const ConvergenceRing& ring, RealNum* dst, const uint64_t* slot) {
    real_resize(dst, slot, ring.slot_limbs);
}

// negligible_part_test on the ring of one part; h are five RealNums at L to widen the slots into.
bool part_negligible(const ConvergenceRing& ring, int root, int part, RealNum* const h[5], int current) {
    for (int s = 0; s < kRingSlots; ++s) ring_load(ring, h[s], ring.slot(root, part, s));
    return negligible_part_test(h, current);
}

// A root is settled when one of its parts is settled and the other one is settled too or is negligible. A settled
// part alone is not enough: when the start values share the roots' real part (x^2 - 2x + 7: the seeds 1 and 1 + i
// and the roots 1 +- sqrt(6) i), the real parts never move and would stop the iteration after five sweeps with
// imaginary parts that have not converged.
bool root_settled(const ConvergenceRing& ring, int root, RealNum* const h[5], int current) {
    const bool real_settled = part_settled(ring, root, 0);
    const bool imag_settled = part_settled(ring, root, 1);
    if (!real_settled && !imag_settled) return false;
    if (!real_settled) return part_negligible(ring, root, 0, h, current);
    if (!imag_settled) return part_negligible(ring, root, 1, h, current);
    return true;
}

void div_op(RealNum* dst, const RealNum* a, const RealNum* b) {
    real_div(dst, a, b);
}

void swap_roots(EquationSolution* solution, int i, int j) {
    const int words = complex_words();
    for (int w = 0; w < words; ++w) std::swap(solution->roots[i][w], solution->roots[j][w]);
    for (int c = 0; c <= kExactTextChars; ++c) std::swap(solution->exact_text[i][c], solution->exact_text[j][c]);
    std::swap(solution->multiplicity[i], solution->multiplicity[j]);
}

void move_root(EquationSolution* solution, int to, int from) {
    if (to == from) return;
    complex_copy(solution->roots[to], solution->roots[from]);
    std::memcpy(solution->exact_text[to], solution->exact_text[from], sizeof(solution->exact_text[to]));
    solution->multiplicity[to] = solution->multiplicity[from];
}

int compare_magnitudes(const RealNum* a, const RealNum* b) {
    ScratchFrame frame;
    RealNum* abs_a = scratch_real();
    RealNum* abs_b = scratch_real();
    real_copy(abs_a, a);
    real_copy(abs_b, b);
    abs_a[0] &= ~uint64_t{1};
    abs_b[0] &= ~uint64_t{1};
    return real_compare(abs_a, abs_b);
}

// Order of two roots: real before non-real; then by real part; non-real ones then by |imaginary part| and with the
// negative imaginary part first.
int compare_roots(const ComplexNum* u, const ComplexNum* v) {
    const bool u_real = complex_is_real(u);
    const bool v_real = complex_is_real(v);
    if (u_real != v_real) return u_real ? -1 : 1;
    const int by_real = real_compare(complex_real(u), complex_real(v));
    if (by_real != 0 || u_real) return by_real;
    const int by_size = compare_magnitudes(complex_imag(u), complex_imag(v));
    if (by_size != 0) return by_size;
    const bool u_negative = real_is_negative(complex_imag(u));
    const bool v_negative = real_is_negative(complex_imag(v));
    if (u_negative != v_negative) return u_negative ? -1 : 1;
    return 0;
}

bool roots_equal(const ComplexNum* u, const ComplexNum* v) {
    return real_compare(complex_real(u), complex_real(v)) == 0 && real_compare(complex_imag(u), complex_imag(v)) == 0;
}

// Non-real roots stand at the end after ordering.
void drop_non_real_roots(EquationSolution* solution) {
    while (solution->root_count > 0 && !complex_is_real(solution->roots[solution->root_count - 1])) {
        --solution->root_count;
    }
}

void set_formula_message(uint32_t code, std::u16string_view name) {
    if (message_state.message_code == 0) {
        message_state.formula_error = formula_result.formula_error;
        message_state.formula_error_pos = formula_result.formula_error_pos;
    }
    set_message(code, name);
}

}  // namespace

int degree_precision_factor(int degree) {
    static const int kFactors[9] = {1000, 950, 482, 320, 230, 184, 130, 110, 95};
    if (degree < 0) return kFactors[0];
    if (degree <= 8) return kFactors[degree];
    return 76000 / (100 * degree);
}

int equation_precision_maximum(int degree) {
    if (degree <= 4) return 2000;
    if (degree <= 7) return 1000;
    return 750;
}

int equation_working_limbs(int degree, int digits) {
    const int64_t f = degree_precision_factor(degree);
    const int64_t working_digits = (int64_t{digits} * 1000 - 1 + f) / f;
    const int64_t limbs = (working_digits + 18) / 19;
    return limbs < 1 ? 1 : static_cast<int>(limbs);
}

std::u16string coefficient_row_name(int k) {
    std::u16string name(u"a");
    name += decimal_text(k);
    return name;
}

CoefficientRows coefficient_rows_from_grid(const GridCells& grid, int degree) {
    CoefficientRows rows;
    for (int r = 0; r <= degree; ++r) {
        rows.texts.push_back(grid.cell_text(0, r));
        rows.names.push_back(coefficient_row_name(degree - r));
    }
    return rows;
}

bool coefficient_row(const CoefficientRows& rows, int r, CoefficientRow* row) {
    const size_t i = static_cast<size_t>(r);
    row->name = i < rows.names.size() && rows.names[i].size() <= kMaxNameChars ? std::u16string_view(rows.names[i])
                                                                               : std::u16string_view();
    // A missing text reads as an empty cell.
    row->text = u"";
    row->blank = true;
    if (i >= rows.texts.size()) return true;
    const std::u16string& text = rows.texts[i];
    if (text.size() >= static_cast<size_t>(kMaxCoefficientChars)) {
        set_message(kMsgCoefficientTooLong, row->name);
        return false;
    }
    row->text = text.c_str();
    row->blank = is_blank(text);
    return true;
}

bool read_complex_coefficients(const CoefficientRows& rows, int degree, bool real_only, EquationInput* input) {
    num_ctx.number_type = kTypeComplex;
    input->degree = degree;
    for (int r = 0; r <= degree; ++r) {
        if (message_state.message_code != 0) return false;
        CoefficientRow row;
        if (!coefficient_row(rows, r, &row)) continue;
        ComplexNum* a = input->coefficients[degree - r];
        if (row.blank) {
            complex_set_zero(a);
        } else {
            evaluate_formula(a, row.text);
            if (formula_result.formula_error != 0) {
                set_formula_message(kMsgCoefficientFormula, row.name);
                continue;
            }
            if (real_only && !complex_is_real(a)) {
                set_message(kMsgCoefficientNotReal, row.name);
                continue;
            }
        }
        if (r == 0 && complex_is_zero(a)) set_message(kMsgLeadingCoefficientZero, row.name);
    }
    return message_state.message_code == 0;
}

uint32_t solve_equation(const EquationControls& controls, const CoefficientRows& rows, std::u16string* output) {
    // Solves run on the user-interface thread one at a time; the records are large and kept for the process.
    static EquationSolution solution;
    static EquationInput input;
    static RationalEquation rational;

    clear_error_state();
    output->clear();
    const int n = controls.degree;
    const int d = controls.digits;
    if (n < 1 || n > kMaxEquationDegree || d < 1) {
        set_message(kMsgInternal);
        return message_state.message_code;
    }
    const int limbs = equation_working_limbs(n, d);
    if (limbs > kMaxUserLimbs) {
        set_message(kMsgInternal);
        return message_state.message_code;
    }
    solution.format_flags = 0;
    solution.real_only = controls.real_only != 0 ? 1 : 0;
    solution.digits = d;
    solution.limbs = limbs;
    solution.root_count = 0;

    if (controls.exact == 0) {
        num_ctx.real_limbs = limbs;
        if (read_complex_coefficients(rows, n, solution.real_only != 0, &input)) {
            solve_polynomial(input, &solution, 0);
            if (message_state.message_code == 0) write_equation_result(solution, 0, controls.multiplicity != 0, output);
        }
    } else if (read_rational_coefficients(rows, n, &rational)) {
        exact_roots(rational, &solution);
        if (message_state.message_code == 0) write_equation_result(solution, 1, controls.multiplicity != 0, output);
    }
    if (message_state.message_code != 0) output->clear();
    return message_state.message_code;
}

void solve_polynomial(const EquationInput& input, EquationSolution* solution, int raw_order) {
    // The reduced and monic working copy; kept for the process like the solve records.
    static EquationInput work;

    num_ctx.real_limbs = solution->limbs;
    const int n = input.degree;
    const int d = solution->digits;
    if (solution->limbs < 1 || solution->limbs > kMaxUserLimbs || n < 0 || n > kMaxEquationDegree || d < 1 ||
        int64_t{d} > int64_t{degree_precision_factor(n)} * solution->limbs * 19 / 1000) {
        fail(solution, kMsgInternal);
        return;
    }
    for (auto& text : solution->exact_text) text[0] = 0;
    work.degree = n;
    for (int i = 0; i <= n; ++i) complex_copy(work.coefficients[i], input.coefficients[i]);

    if (complex_is_zero(work.coefficients[n])) {
        fail(solution, kMsgInternal);
        return;
    }
    // Zero roots: divide the polynomial by x^k.
    int k = 0;
    while (k < n && complex_is_zero(work.coefficients[k])) ++k;
    if (k > 0) {
        for (int i = 0; i + k <= n; ++i) complex_copy(work.coefficients[i], work.coefficients[i + k]);
        for (int i = n - k + 1; i <= n; ++i) complex_set_zero(work.coefficients[i]);
        work.degree = n - k;
    }
    const int m = work.degree;
    if (m == 1) {
        ComplexNum* root = solution->roots[0];
        complex_div(root, work.coefficients[0], work.coefficients[1]);
        complex_negate(root, root);
        complex_round_digits(root, root, d);
        solution->multiplicity[0] = 1;
        solution->root_count = 1;
    } else if (m >= 2) {
        for (int i = m - 1; i >= 0; --i) complex_div(work.coefficients[i], work.coefficients[i], work.coefficients[m]);
        real_set_one(complex_real(work.coefficients[m]));
        real_set_zero(complex_imag(work.coefficients[m]));
        simultaneous_iteration(work, solution);
    } else {
        solution->root_count = 0;
    }

    if (message_state.message_code == 0) {
        for (int z = 0; z < k; ++z) {
            if (solution->root_count >= kMaxEquationDegree) {
                set_message(kMsgInternal);
                break;
            }
            const int i = solution->root_count++;
            complex_set_zero(solution->roots[i]);
            solution->exact_text[i][0] = 0;
            solution->multiplicity[i] = 1;
        }
    }
    if (message_state.message_code == 0 && raw_order == 0) {
        order_roots(solution);
        if (solution->real_only == 1) drop_non_real_roots(solution);
    }
    if (message_state.message_code != 0) solution->root_count = -1;
}

void simultaneous_iteration(const EquationInput& monic, EquationSolution* solution) {
    const int n = monic.degree;
    const int d = solution->digits;
    if (n < 2 || n > kMaxEquationDegree || complex_is_zero(monic.coefficients[0]) ||
        !complex_is_exact_one(monic.coefficients[n]) || d < 1) {
        fail(solution, kMsgInternal);
        return;
    }
    ScratchFrame frame;
    ConvergenceRing ring{nullptr, (d + 18) / 19};
    if (ring.slot_limbs > num_ctx.real_limbs) ring.slot_limbs = num_ctx.real_limbs;
    ring.words = scratch_take(static_cast<size_t>(n) * 2 * kRingSlots * static_cast<size_t>(ring.slot_limbs + 1));
    ComplexNum* value = scratch_complex();
    ComplexNum* power = scratch_complex();
    ComplexNum* term = scratch_complex();
    ComplexNum* product = scratch_complex();
    RealNum* h[kRingSlots];
    for (auto& slot : h) slot = scratch_real();
    if (ring.words == nullptr || h[kRingSlots - 1] == nullptr) {
        fail(solution, kMsgInternal);
        return;
    }

    // Start values (1 + i)^k.
    ComplexNum* step = term;
    real_set_one(complex_real(step));
    real_set_one(complex_imag(step));
    real_set_one(complex_real(solution->roots[0]));
    real_set_zero(complex_imag(solution->roots[0]));
    for (int k = 1; k < n; ++k) complex_mul(solution->roots[k], solution->roots[k - 1], step);

    const int64_t sweep_limit = int64_t{3} * n * d;
    int current = kRingSlots - 1;
    bool converged = false;
    for (int64_t sweep = 1; sweep <= sweep_limit && !converged; ++sweep) {
        for (int j = 0; j < n; ++j) {
            ComplexNum* z = solution->roots[j];
            // value = p(z) = a_0 + a_1 z + ... + a_(n-1) z^(n-1) + z^n with a running power; the polynomial is monic,
            // so the last term is the power itself.
            complex_copy(value, monic.coefficients[0]);
            complex_copy(power, z);
            for (int i = 1; i < n; ++i) {
                complex_mul(term, monic.coefficients[i], power);
                complex_add(value, value, term);
                complex_mul(power, power, z);
            }
            complex_add(value, value, power);
            // product = prod over k != j of (z_j - z_k), with the values of this sweep where already updated.
            bool first = true;
            for (int k = 0; k < n; ++k) {
                if (k == j) continue;
                if (first) {
                    complex_sub(product, z, solution->roots[k]);
                    first = false;
                } else {
                    complex_sub(term, z, solution->roots[k]);
                    complex_mul(product, product, term);
                }
            }
            // Two approximations can coincide exactly (x^2 - 2 moves z_0 from 1 onto z_1 = 1 + i in the first
            // step). The correction is then p(z_j) itself: zero when z_j is already a root, else a step that
            // separates the pair, where the quotient would only be a division by zero.
            if (complex_is_zero(product)) {
                complex_copy(term, value);
            } else {
                complex_div(term, value, product);
            }
            complex_sub(z, z, term);
        }

        current = (current + 1) % kRingSlots;
        for (int j = 0; j < n; ++j) {
            ring_store(ring, j, 0, current, complex_real(solution->roots[j]), d);
            ring_store(ring, j, 1, current, complex_imag(solution->roots[j]), d);
        }
        if (sweep >= kRingSlots) {
            converged = true;
            for (int j = 0; j < n && converged; ++j) converged = root_settled(ring, j, h, current);
        }
    }
    if (!converged) {
        fail(solution, kMsgNotConverged);
        return;
    }

    // The roots are the newest slots; an unsettled part that keeps wandering near zero is noise and becomes 0.
    for (int j = 0; j < n; ++j) {
        for (int part = 0; part < 2; ++part) {
            if (!part_settled(ring, j, part)) {
                if (part_negligible(ring, j, part, h, current)) {
                    uint64_t* slot = ring.slot(j, part, current);
                    for (int i = 0; i <= ring.slot_limbs; ++i) slot[i] = 0;
                }
            }
            RealNum* dst = part == 0 ? complex_real(solution->roots[j]) : complex_imag(solution->roots[j]);
            ring_load(ring, dst, ring.slot(j, part, current));
        }
        solution->multiplicity[j] = 1;
    }
    solution->root_count = n;
}

bool negligible_part_test(const RealNum* const h[5], int current) {
    ScratchFrame frame;
    RealNum* quotient = scratch_real();
    RealNum* one = scratch_real();
    real_set_one(one);
    bool all_agree = true;
    for (int p = 0; p < 4 && all_agree; ++p) {
        const RealNum* newer = h[(current - p + 2 * kRingSlots) % kRingSlots];
        const RealNum* older = h[(current - p - 1 + 2 * kRingSlots) % kRingSlots];
        const bool newer_zero = real_is_zero(newer);
        const bool older_zero = real_is_zero(older);
        if (newer_zero || older_zero) {
            all_agree = newer_zero && older_zero;
            continue;
        }
        if (real_is_negative(newer) != real_is_negative(older)) {
            all_agree = false;
            continue;
        }
        real_guarded_binary(quotient, newer, older, div_op, 2);
        real_round_on_guard(quotient, real_add_sub(quotient, quotient, one, 1));
        quotient[0] &= ~uint64_t{1};
        all_agree = real_compare_scaled(quotient, 100000000, -4) < 0;
    }
    if (all_agree) return false;
    real_copy(quotient, h[current]);
    quotient[0] &= ~uint64_t{1};
    return real_compare_scaled(quotient, 100000000, -1) < 0;
}

void order_roots(EquationSolution* solution) {
    const int count = solution->root_count;
    for (int end = count - 1; end > 0; --end) {
        for (int i = 0; i < end; ++i) {
            if (compare_roots(solution->roots[i], solution->roots[i + 1]) > 0) swap_roots(solution, i, i + 1);
        }
    }
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (kept > 0 && roots_equal(solution->roots[kept - 1], solution->roots[i])) {
            solution->multiplicity[kept - 1] += solution->multiplicity[i];
        } else {
            move_root(solution, kept++, i);
        }
    }
    if (count > 0) solution->root_count = kept;
}

void write_equation_result(const EquationSolution& solution, int exact_path, bool show_multiplicity,
                           std::u16string* output) {
    num_ctx.real_limbs = solution.limbs;
    for (int i = 0; i < solution.root_count; ++i) {
        const ComplexNum* root = solution.roots[i];
        *output += u'x';
        *output += decimal_text(i + 1);
        const bool has_exact = solution.exact_text[i][0] != 0;
        if (has_exact) {
            *output += u" = ";
            *output += solution.exact_text[i];
        }
        if (!has_exact || !real_is_integer(complex_real(root)) || !real_is_integer(complex_imag(root))) {
            char16_t* buffer = text_ring_next_buffer();
            const uint32_t flags = exact_path != 0 ? uint32_t{kFmtPointZero} : 0u;
            const int length = complex_format(buffer, kRingTextCapacity, root, flags);
            *output += u" \u2248 ";
            output->append(buffer, static_cast<size_t>(length));
        }
        if (show_multiplicity) {
            *output += u"   [";
            *output += decimal_text(solution.multiplicity[i]);
            *output += u"]\r\n";
        } else {
            *output += u"\r\n";
        }
    }
    if (solution.root_count == 0) *output += string_table.text[kNoRealSolutionsSlot];
}
