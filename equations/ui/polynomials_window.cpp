#include "equations/ui/polynomials_window.h"

#include "equations/polynomial_calc.h"
#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"

PolynomialsWindow polynomials_window{};

namespace {

constexpr int kClientWidth = 505;
constexpr int kClientHeight = 420;
constexpr int kStartCount = 2;
constexpr int kStartDegree = 2;
constexpr int kShownColumnWidth = 50;
// Grid column of the coefficient a_k.
constexpr int coefficient_column(int k) {
    return kPolyMaxDegree - k;
}

const char16_t* slot(int index) {
    return string_table.text[index];
}

using Command = uint32_t (*)(const GridCells&, const PolyControls&, std::u16string*);

void run_command(Command command) {
    PolynomialsWindow& w = polynomials_window;
    if (w.form == nullptr) return;
    w.grid->commit_edit();
    const PolyControls controls{
        .polynomial_count = w.count->position,
        .max_degree = w.max_degree->position,
        .number_type = number_type_selected(w.number_type),
        .digits = w.precision->position,
    };
    run_output_command(w.output, [&](std::u16string* text) { command(*w.grid, controls, text); });
}

}  // namespace

Form* create_polynomials_window() {
    PolynomialsWindow& w = polynomials_window;
    w.form = create_equation_form(kClientWidth, kClientHeight, slot(86), polynomials_layout,
                                  [] { polynomials_window = {}; });

    w.count = create_labelled_spin_field(w.form, 10, 105, slot(87), 2, kPolyMaxCount, kStartCount,
                                         [](int32_t count) { polynomials_set_count(count); });
    w.max_degree = create_labelled_spin_field(w.form, 120, 75, slot(88), 1, kPolyMaxDegree, kStartDegree,
                                              [](int32_t degree) { polynomials_set_max_degree(degree); });
    create_number_fields(w.form, 200, &w.number_type, &w.precision);
    w.prompt = create_label(w.form, 10, 65, kClientWidth - 20, 34, u"");

    w.grid = create_named_column_grid(w.form, kClientWidth);
    for (int k = kPolyMaxDegree; k >= 0; --k) w.grid->add_column(kGridTextColumn, numbered_text(u"a", k));
    w.grid->add_column(kGridTextColumn, u"");
    w.grid->set_column_width(kPolyGridColumns - 1, 0);
    w.output = create_output_box(w.form);

    create_command_buttons(w.form, kClientWidth, kClientHeight,
                           {{&w.multiply, slot(89), polynomials_multiply}, {&w.divide, slot(90), polynomials_divide}},
                           {&w.cancel, slot(1), [] { polynomials_window.form->hide(); }});

    polynomials_set_count(kStartCount);
    polynomials_set_max_degree(kStartDegree);
    polynomials_layout();
    return w.form;
}

void polynomials_set_count(int count) {
    PolynomialsWindow& w = polynomials_window;
    if (w.form == nullptr) return;
    while (w.grid->row_count() > count) w.grid->delete_row(w.grid->row_count() - 1);
    while (w.grid->row_count() < count) w.grid->add_row(numbered_text(u"P", w.grid->row_count(), u"(x)"));
    w.grid->repaint_grid();
    w.divide->setEnabled(count < 3);
}

void polynomials_set_max_degree(int degree) {
    PolynomialsWindow& w = polynomials_window;
    if (w.form == nullptr) return;
    for (int k = kPolyMaxDegree; k > degree; --k) w.grid->set_column_width(coefficient_column(k), 0);
    for (int k = degree; k >= 0; --k) {
        if (w.grid->column_width(coefficient_column(k)) == 0) {
            w.grid->set_column_width(coefficient_column(k), kShownColumnWidth);
        }
    }
    w.grid->set_cursor(coefficient_column(degree), 0);
    w.grid->repaint_grid();
    w.prompt->setText(to_qstring(fill_text_pattern(slot(91), term_text(degree, u'a'))));
}

void polynomials_multiply() {
    run_command(polynomial_multiply_command);
}

void polynomials_divide() {
    run_command(polynomial_divide_command);
}

void polynomials_layout() {
    PolynomialsWindow& w = polynomials_window;
    if (w.form == nullptr || w.output == nullptr) return;
    layout_grid_window(w.form, w.prompt, w.grid, w.output, {w.multiply, w.divide}, w.cancel);
}
