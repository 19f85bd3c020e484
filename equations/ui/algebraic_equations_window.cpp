#include "equations/ui/algebraic_equations_window.h"

#include <algorithm>

#include "equations/algebraic_equation.h"
#include "equations/polynomial_calc.h"
#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"

AlgebraicEquationsWindow algebraic_equations_window{};

namespace {

constexpr int kClientWidth = 505;
constexpr int kClientHeight = 390;
constexpr int kStartDegree = 2;
constexpr int kGridLeft = 200;
constexpr int kGridTop = 48;
constexpr int kGridHeight = 105;
constexpr int kOutputTop = 166;
constexpr int kOutputHeightMargin = 213;

const char16_t* slot(int index) {
    return string_table.text[index];
}

QComboBox* create_selector(QWidget* parent, int y, int width, std::initializer_list<int> item_slots, int label_slot) {
    QComboBox* combo = create_combo(parent, 10, y, width, 22);
    for (int item : item_slots) combo->addItem(to_qstring(slot(item)));
    combo->setCurrentIndex(0);
    const int label_x = 10 + width + 5;
    create_label(parent, label_x, y + 3, kGridLeft - 2 - label_x, 20, slot(label_slot));
    return combo;
}

}  // namespace

Form* create_algebraic_equations_window() {
    AlgebraicEquationsWindow& w = algebraic_equations_window;
    w.form = create_equation_form(kClientWidth, kClientHeight, slot(62), algebraic_equations_layout,
                                  [] { algebraic_equations_window = {}; });

    w.degree = create_spin_field(w.form, 10, 10, 1, kMaxEquationDegree, kStartDegree,
                                 [](int32_t degree) { algebraic_equations_set_degree(degree); });
    create_label(w.form, 76, 12, 120, 20, slot(63));
    w.mode = create_selector(w.form, 42, 85, {65, 66}, 64);
    w.result_type = create_selector(w.form, 76, 105, {68, 69}, 67);
    w.precision = create_spin_field(w.form, 10, 110, kEquationMinPrecision, equation_precision_maximum(kStartDegree),
                                    kEquationStartPrecision, {});
    create_label(w.form, 76, 112, 120, 20, slot(18));
    w.multiplicity = create_check(w.form, 10, 140, 175, 20, slot(70));
    w.multiplicity->setChecked(true);

    w.prompt = create_label(w.form, kGridLeft, 10, kClientWidth - kGridLeft - 10, 36, u"");
    w.grid = create_data_grid(w.form, kGridLeft, kGridTop, kClientWidth - kGridLeft - 10, kGridHeight);
    w.grid->set_header_height(0);
    w.grid->add_column(kGridTextColumn, u"");
    w.grid->set_numbered_row_headers(false);
    w.output = create_output_box(w.form);

    create_command_buttons(w.form, kClientWidth, kClientHeight, {{&w.solve, slot(72), algebraic_equations_solve}},
                           {&w.cancel, slot(1), [] { algebraic_equations_window.form->hide(); }});

    w.shown_degree = -1;
    algebraic_equations_set_degree(kStartDegree);
    algebraic_equations_layout();
    return w.form;
}

void algebraic_equations_set_degree(int degree) {
    AlgebraicEquationsWindow& w = algebraic_equations_window;
    if (w.form == nullptr || degree == w.shown_degree) return;
    w.prompt->setText(to_qstring(fill_text_pattern(slot(71), term_text(degree, u'a'))));
    for (int k = w.shown_degree + 1; k <= degree; ++k) w.grid->insert_row(0, coefficient_row_name(k));
    for (int k = degree; k < w.shown_degree; ++k) w.grid->delete_row(0);
    w.shown_degree = degree;
    w.grid->repaint_grid();
    numeric_up_down_set_max(w.precision, equation_precision_maximum(degree));
}

void algebraic_equations_solve() {
    AlgebraicEquationsWindow& w = algebraic_equations_window;
    if (w.form == nullptr) return;
    w.grid->commit_edit();
    const EquationControls controls{
        .degree = w.shown_degree,
        .real_only = w.mode->currentIndex() == 0 ? 1 : 0,
        .exact = w.result_type->currentIndex() == 1 ? 1 : 0,
        .digits = w.precision->position,
        .multiplicity = w.multiplicity->isChecked() ? 1 : 0,
    };
    run_output_command(w.output, [&](std::u16string* text) {
        solve_equation(controls, coefficient_rows_from_grid(*w.grid, w.shown_degree), text);
    });
}

void algebraic_equations_layout() {
    AlgebraicEquationsWindow& w = algebraic_equations_window;
    if (w.form == nullptr || w.output == nullptr) return;
    const int width = w.form->width();
    const int height = w.form->height();
    const int extra = height >= 420 ? std::min(height - 400, 125) : 0;
    const int grid_width = std::max(0, width - kGridLeft - 10);
    w.prompt->resize(grid_width, w.prompt->height());
    w.grid->setGeometry(kGridLeft, kGridTop, grid_width, kGridHeight + extra);
    w.output->setGeometry(10, extra + kOutputTop, std::max(0, width - 20),
                          std::max(0, height - extra - kOutputHeightMargin));
    w.solve->move(w.solve->x(), height - kButtonBottomOffset);
    w.cancel->move(width - kCancelRightOffset, height - kButtonBottomOffset);
}
