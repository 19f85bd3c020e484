#include "equations/ui/linear_systems_window.h"

#include <filesystem>

#include "equations/grid_file.h"
#include "equations/linear_system.h"
#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/string_table.h"

LinearSystemsWindow linear_systems_window{};

namespace {

constexpr int kClientWidth = 505;
constexpr int kClientHeight = 420;
constexpr int kStartCount = 2;
constexpr int kShownColumnWidth = 50;
constexpr int kFillerColumn = kLinearGridColumns - 1;

const char16_t* slot(int index) {
    return string_table.text[index];
}

std::filesystem::path file_path(const QString& name) {
    return std::filesystem::path(name.toStdU16String());
}

// The loader's answer to the count in a file's header: the count control shows it and the grid follows.
void set_count_from_file(void*, int count) {
    LinearSystemsWindow& w = linear_systems_window;
    numeric_up_down_set_position(w.count, count);
    numeric_up_down_commit(w.count, true, false);
    linear_systems_set_count(count);
}

}  // namespace

Form* create_linear_systems_window() {
    LinearSystemsWindow& w = linear_systems_window;
    w.form = create_equation_form(kClientWidth, kClientHeight, slot(74), linear_systems_layout,
                                  [] { linear_systems_window = {}; });

    w.count = create_labelled_spin_field(w.form, 10, 125, slot(75), 2, kMaxEquations, kStartCount,
                                         [](int32_t count) { linear_systems_set_count(count); });
    create_number_fields(w.form, 140, &w.number_type, &w.precision);
    w.help = create_label(w.form, 10, 62, kClientWidth - 20, 36, slot(77));

    w.grid = create_named_column_grid(w.form, kClientWidth);
    for (int j = 0; j < kMaxEquations; ++j) w.grid->add_column(kGridTextColumn, numbered_text(u"a", j + 1));
    w.grid->add_column(kGridTextColumn, u"b");
    w.grid->add_column(kGridTextColumn, u"");
    w.grid->set_column_width(kFillerColumn, 0);
    w.output = create_output_box(w.form);

    create_command_buttons(w.form, kClientWidth, kClientHeight,
                           {{&w.solve, slot(72), linear_systems_solve},
                            {&w.clear, slot(78), linear_systems_clear},
                            {&w.load, slot(79), linear_systems_load},
                            {&w.save_as, slot(80), linear_systems_save_as}},
                           {&w.cancel, slot(1), [] { linear_systems_window.form->hide(); }});

    linear_systems_set_count(kStartCount);
    linear_systems_layout();
    return w.form;
}

void linear_systems_set_count(int count) {
    SimpleGridCtl* grid = linear_systems_window.grid;
    if (grid == nullptr) return;
    while (grid->row_count() > count) grid->delete_row(grid->row_count() - 1);
    while (grid->row_count() < count) grid->add_row(numbered_text(u"", grid->row_count() + 1));
    for (int j = 0; j < kMaxEquations; ++j) {
        if (j >= count) {
            grid->set_column_width(j, 0);
        } else if (grid->column_width(j) == 0) {
            grid->set_column_width(j, kShownColumnWidth);
        }
    }
    grid->set_cursor(0, 0);
    grid->repaint_grid();
}

void linear_systems_solve() {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr) return;
    w.grid->commit_edit();
    const LinearControls controls{
        .equation_count = w.count->position,
        .number_type = number_type_selected(w.number_type),
        .digits = w.precision->position,
    };
    run_output_command(w.output, [&](std::u16string* text) { solve_linear_command(*w.grid, controls, text); });
}

void linear_systems_clear() {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr) return;
    w.grid->cancel_edit();
    for (int row = 0; row < kMaxEquations; ++row) {
        for (int column = 0; column <= kLinearBColumn; ++column) w.grid->set_cell_text(column, row, u"");
    }
    w.output->clear();
}

void linear_systems_load() {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr) return;
    clear_error_state();
    const QString name = choose_grid_file_to_load(w.form, slot(79), w.files);
    if (name.isEmpty()) {
        show_message();
        return;
    }
    linear_systems_load_file(name);
}

void linear_systems_save_as() {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr) return;
    clear_error_state();
    const QString name = choose_grid_file_to_save(w.form, slot(80), w.files);
    if (name.isEmpty()) {
        show_message();
        return;
    }
    linear_systems_save_file(name);
}

void linear_systems_load_file(const QString& file_name) {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr) return;
    w.grid->cancel_edit();
    const uint32_t code = load_grid_file(file_path(file_name), *w.grid, set_count_from_file, nullptr);
    // The grid stays as it was only when the file could not be opened.
    if (code != kMsgFileNotFound && code != kMsgFileAccess) w.output->clear();
    w.grid->repaint_grid();
    show_message();
}

void linear_systems_save_file(const QString& file_name) {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr) return;
    w.grid->commit_edit();
    save_grid_file(file_path(file_name), *w.grid, w.count->position);
    show_message();
}

void linear_systems_layout() {
    LinearSystemsWindow& w = linear_systems_window;
    if (w.form == nullptr || w.output == nullptr) return;
    layout_grid_window(w.form, w.help, w.grid, w.output, {w.solve, w.clear, w.load, w.save_as}, w.cancel);
}
