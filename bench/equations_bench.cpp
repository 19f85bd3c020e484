// The Solve command of the algebraic-equations window at its precision limits and at everyday sizes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "equations/algebraic_equation.h"
#include "numeric/num_context.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

void init_once() {
    static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
    (void)initialised;
}

CoefficientRows rows_of(const std::vector<std::u16string>& highest_first) {
    const int degree = static_cast<int>(highest_first.size()) - 1;
    CoefficientRows rows;
    rows.texts = highest_first;
    for (int r = 0; r <= degree; ++r) rows.names.push_back(coefficient_row_name(degree - r));
    return rows;
}

void run_solve(benchmark::State& state, const std::vector<std::u16string>& coefficients, int digits, bool exact) {
    init_once();
    const CoefficientRows rows = rows_of(coefficients);
    EquationControls controls{static_cast<int>(coefficients.size()) - 1, 0, exact ? 1 : 0, digits, 1};
    std::u16string output;
    for (auto _ : state) {
        const uint32_t code = solve_equation(controls, rows, &output);
        if (code != 0 || num_ctx.error_code != 0) state.SkipWithError("the solve failed");
        clear_error_state();
        benchmark::DoNotOptimize(output.data());
    }
}

// x^10 + 2x^9 + ... + 10x + 11: ten simple complex roots; 750 digits need 520 limbs.
const std::vector<std::u16string> kDegree10 = {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10", u"11"};

void BM_Degree10At750Digits(benchmark::State& state) {
    run_solve(state, kDegree10, 750, false);
}
BENCHMARK(BM_Degree10At750Digits)->Unit(benchmark::kSecond)->Iterations(1);

void BM_Degree10At50Digits(benchmark::State& state) {
    run_solve(state, kDegree10, 50, false);
}
BENCHMARK(BM_Degree10At50Digits)->Unit(benchmark::kMillisecond);

void BM_Degree4At2000Digits(benchmark::State& state) {
    run_solve(state, {u"1", u"-2", u"3", u"-4", u"5"}, 2000, false);
}
BENCHMARK(BM_Degree4At2000Digits)->Unit(benchmark::kSecond)->Iterations(1);

void BM_QuadraticAt10Digits(benchmark::State& state) {
    run_solve(state, {u"1", u"0", u"-2"}, 10, false);
}
BENCHMARK(BM_QuadraticAt10Digits)->Unit(benchmark::kMicrosecond);

// (x - 1)(x + 2)(x^2 - 3)(2x - 1)(3x + 1): rational roots found and divided out, a quadratic left.
void BM_ExactDegree6(benchmark::State& state) {
    run_solve(state, {u"6", u"5", u"-32", u"-14", u"44", u"-3", u"-6"}, 10, true);
}
BENCHMARK(BM_ExactDegree6)->Unit(benchmark::kMillisecond);

}  // namespace
