#include "equations/ui/equation_window_parts.h"

#include <QApplication>
#include <algorithm>

#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

constexpr int kSpinWidth = 60;
constexpr int kSpinHeight = 20;
// Distance of the command buttons' left edges.
constexpr int kCommandStep = 90;

const char16_t* slot(int index) {
    return string_table.text[index];
}

}  // namespace

std::u16string fill_text_pattern(std::u16string_view pattern, std::u16string_view value) {
    std::u16string text(pattern);
    const size_t at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, value);
    return text;
}

std::u16string numbered_text(std::u16string_view prefix, int number, std::u16string_view suffix) {
    std::u16string text(prefix);
    text += to_u16(QString::number(number));
    text += suffix;
    return text;
}

Form* create_equation_form(int client_width, int client_height, std::u16string_view title, void (*layout)(),
                           void (*forget)()) {
    Form* form = create_form(client_width, client_height, title, [layout](QWidget*, QEvent* event, bool&) {
        if (event->type() == QEvent::Resize) layout();
    });
    QObject::connect(form, &QObject::destroyed, forget);
    return form;
}

NumericUpDownControl* create_spin_field(QWidget* parent, int x, int y, int32_t minimum, int32_t maximum, int32_t start,
                                        std::function<void(int32_t)> on_change) {
    NumericUpDownControl* control = create_numeric_up_down(parent, x, y, kSpinWidth, kSpinHeight);
    numeric_up_down_set_max(control, maximum);
    numeric_up_down_set_min(control, minimum);
    numeric_up_down_set_position(control, start);
    numeric_up_down_commit(control, true, false);
    control->on_change = std::move(on_change);
    return control;
}

NumericUpDownControl* create_labelled_spin_field(QWidget* parent, int x, int label_width, std::u16string_view label,
                                                 int32_t minimum, int32_t maximum, int32_t start,
                                                 std::function<void(int32_t)> on_change) {
    create_label(parent, x, 10, label_width, 20, label);
    return create_spin_field(parent, x, 30, minimum, maximum, start, std::move(on_change));
}

void create_number_fields(QWidget* parent, int x, NumberTypeControl** number_type, NumericUpDownControl** precision) {
    create_label(parent, x, 10, 95, 20, slot(76));
    *number_type = create_number_type_control(parent, x);
    number_type_select_real(*number_type);
    *precision = create_labelled_spin_field(parent, x + 100, 100, slot(18), kEquationMinPrecision,
                                            kGridWindowMaxPrecision, kEquationStartPrecision, {});
}

SimpleGridCtl* create_data_grid(QWidget* parent, int x, int y, int width, int height) {
    auto* grid = new SimpleGridCtl(parent);
    grid->setGeometry(x, y, width, height);
    attach_control(grid);
    grid->show();
    return grid;
}

SimpleGridCtl* create_named_column_grid(QWidget* parent, int client_width) {
    SimpleGridCtl* grid = create_data_grid(parent, 10, kGridWindowGridTop, client_width - 20, 100);
    grid->set_column_resizing(true);
    grid->set_lettered_column_headers(false);
    grid->set_numbered_row_headers(false);
    grid->set_stretch_last_column(false);
    return grid;
}

QPlainTextEdit* create_output_box(QWidget* parent) {
    auto* box = new QPlainTextEdit(parent);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    attach_control(box);
    box->show();
    return box;
}

void create_command_buttons(Form* form, int client_width, int client_height,
                            std::initializer_list<CommandButton> commands, const CommandButton& cancel) {
    const int y = client_height - kButtonBottomOffset;
    int x = 10;
    for (const CommandButton& command : commands) {
        *command.button = create_button(form, x, y, kButtonWidth, kButtonHeight, command.text);
        x += kCommandStep;
    }
    *cancel.button =
        create_button(form, client_width - kCancelRightOffset, y, kButtonWidth, kButtonHeight, cancel.text);
    set_default_button(form, *commands.begin()->button);
    for (const CommandButton& command : commands) {
        QObject::connect(*command.button, &QPushButton::clicked, form, command.run);
    }
    QObject::connect(*cancel.button, &QPushButton::clicked, form, cancel.run);
}

void run_output_command(QPlainTextEdit* output, const std::function<void(std::u16string* text)>& command) {
    std::u16string text;
    {
        WaitCursor wait;
        output->clear();
        output->repaint();
        command(&text);
        set_output_text(output, text);
    }
    show_message();
}

QString output_box_text(std::u16string_view text) {
    QString result = to_qstring(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QChar(u'\r'), QChar(u'\n'));
    return result;
}

void set_output_text(QPlainTextEdit* box, std::u16string_view text) {
    box->setPlainText(output_box_text(text));
    box->repaint();
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

void layout_grid_window(QWidget* form, QLabel* label, SimpleGridCtl* grid, QPlainTextEdit* output,
                        std::initializer_list<QPushButton*> buttons, QPushButton* cancel) {
    const int w = form->width();
    const int h = form->height();
    const int inner_width = std::max(0, w - 20);
    const int part_height = std::max(0, (h - kGridWindowGridTop - 40) / 2 - 5);
    label->resize(inner_width, label->height());
    grid->setGeometry(10, kGridWindowGridTop, inner_width, part_height);
    output->setGeometry(10, kGridWindowGridTop + part_height + 5, inner_width, part_height);
    for (QPushButton* button : buttons) button->move(button->x(), h - kButtonBottomOffset);
    cancel->move(w - kCancelRightOffset, h - kButtonBottomOffset);
}
