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
constexpr int kMinPrecision = 5;
constexpr int kMaxPrecision = 1000;
constexpr int kStartPrecision = 10;
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
    w.form = create_form(kClientWidth, kClientHeight, slot(74), [](QWidget*, QEvent* event, bool&) {
        if (event->type() == QEvent::Resize) linear_systems_layout();
    });
    QObject::connect(w.form, &QObject::destroyed, [] { linear_systems_window = {}; });

    create_label(w.form, 10, 10, 125, 20, slot(75));
    w.count = create_spin_field(w.form, 10, 30, 2, kMaxEquations, kStartCount,
                                [](int32_t count) { linear_systems_set_count(count); });
    create_label(w.form, 140, 10, 95, 20, slot(76));
    w.number_type = create_number_type_control(w.form, 140);
    number_type_select_real(w.number_type);
    create_label(w.form, 240, 10, 100, 20, slot(18));
    w.precision = create_spin_field(w.form, 240, 30, kMinPrecision, kMaxPrecision, kStartPrecision, {});
    w.help = create_label(w.form, 10, 62, kClientWidth - 20, 36, slot(77));

    w.grid = create_data_grid(w.form, 10, kGridWindowGridTop, kClientWidth - 20, 100);
    setup_named_column_grid(w.grid);
    for (int j = 0; j < kMaxEquations; ++j) w.grid->add_column(kGridTextColumn, numbered_text(u"a", j + 1));
    w.grid->add_column(kGridTextColumn, u"b");
    w.grid->add_column(kGridTextColumn, u"");
    w.grid->set_column_width(kFillerColumn, 0);
    w.output = create_output_box(w.form);

    const int y = kClientHeight - kButtonBottomOffset;
    w.solve = create_button(w.form, 10, y, kButtonWidth, kButtonHeight, slot(72));
    w.clear = create_button(w.form, 100, y, kButtonWidth, kButtonHeight, slot(78));
    w.load = create_button(w.form, 190, y, kButtonWidth, kButtonHeight, slot(79));
    w.save_as = create_button(w.form, 280, y, kButtonWidth, kButtonHeight, slot(80));
    w.cancel = create_button(w.form, kClientWidth - kCancelRightOffset, y, kButtonWidth, kButtonHeight, slot(1));
    set_default_button(w.form, w.solve);
    QObject::connect(w.solve, &QPushButton::clicked, w.form, [] { linear_systems_solve(); });
    QObject::connect(w.clear, &QPushButton::clicked, w.form, [] { linear_systems_clear(); });
    QObject::connect(w.load, &QPushButton::clicked, w.form, [] { linear_systems_load(); });
    QObject::connect(w.save_as, &QPushButton::clicked, w.form, [] { linear_systems_save_as(); });
    QObject::connect(w.cancel, &QPushButton::clicked, w.form, [] { linear_systems_window.form->hide(); });

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
    std::u16string text;
    {
        WaitCursor wait;
        w.output->clear();
        w.output->repaint();
        solve_linear_command(*w.grid, controls, &text);
        set_output_text(w.output, text);
    }
    show_message();
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
