// The Solve command of the linear-systems window on full 25 x 25 grids: the whole command (reading 650 formulas,
// eliminating, writing the output) and the elimination alone on a matrix read once.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "equations/linear_system.h"
#include "formula/formula_eval.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

class BenchGrid : public GridCells {
  public:
    BenchGrid(int n, int magnitude, unsigned seed) : n_(n), cells_(static_cast<size_t>(n) * kLinearGridColumns) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> entry(-magnitude, magnitude);
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= n; ++j) {
                const std::string text = std::to_string(entry(rng)) + (j % 3 == 1 ? "/7" : "");
                cells_[static_cast<size_t>(i) * kLinearGridColumns + (j == n ? kLinearBColumn : j)] =
                    std::u16string(text.begin(), text.end());
            }
        }
    }
    int row_count() const override { return n_; }
    int column_count() const override { return kLinearGridColumns; }
    std::u16string cell_text(int column, int row) const override {
        return cells_[static_cast<size_t>(row) * kLinearGridColumns + column];
    }
    int set_cell_text(int, int, std::u16string_view) override { return -1; }

  private:
    int n_;
    std::vector<std::u16string> cells_;
};

void prepare() {
    static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
    (void)initialised;
}

void solve_command(benchmark::State& state, uint32_t type, int digits) {
    prepare();
    const BenchGrid grid(25, 99, 2026);
    std::u16string output;
    for (auto _ : state) {
        const uint32_t code = solve_linear_command(grid, LinearControls{25, type, digits}, &output);
        if (code != 0) state.SkipWithError("message");
        benchmark::DoNotOptimize(output.data());
    }
}

void eliminate_only(benchmark::State& state, uint32_t type, int digits) {
    prepare();
    const BenchGrid grid(25, 99, 2026);
    LinearSystem original;
    setup_linear_system(&original, 25, type, digits);
    num_ctx.real_limbs = original.limbs;
    num_ctx.number_type = type;
    for (int i = 0; i < 25; ++i) {
        for (int j = 0; j <= 25; ++j) {
            evaluate_formula(linear_entry(&original, i, j), grid.cell_text(j == 25 ? kLinearBColumn : j, i).c_str());
        }
    }
    LinearSystem system = original;
    LinearSolution solution;
    for (auto _ : state) {
        state.PauseTiming();
        system.storage = original.storage;
        for (int i = 0; i < 25; ++i) {
            system.rows[i] = system.storage.data() + (original.rows[i] - original.storage.data());
        }
        state.ResumeTiming();
        eliminate(&system, &solution);
        if (solution.variables != 25) state.SkipWithError("not solved");
    }
    clear_error_state();
}

void BM_SolveReal1000Digits(benchmark::State& state) {
    solve_command(state, kTypeReal, 1000);
}
void BM_SolveRational(benchmark::State& state) {
    solve_command(state, kTypeRational, 1000);
}
void BM_SolveRational50Digits(benchmark::State& state) {
    solve_command(state, kTypeRational, 50);
}
void BM_SolveComplex1000Digits(benchmark::State& state) {
    solve_command(state, kTypeComplex, 1000);
}
void BM_EliminateReal1000Digits(benchmark::State& state) {
    eliminate_only(state, kTypeReal, 1000);
}
void BM_EliminateRational(benchmark::State& state) {
    eliminate_only(state, kTypeRational, 1000);
}

}  // namespace

BENCHMARK(BM_SolveReal1000Digits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolveRational)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolveRational50Digits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolveComplex1000Digits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EliminateReal1000Digits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EliminateRational)->Unit(benchmark::kMillisecond);
