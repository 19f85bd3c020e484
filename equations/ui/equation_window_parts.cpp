#include "equations/ui/equation_window_parts.h"

#include <QApplication>
#include <algorithm>

#include "platform/control.h"
#include "platform/ui_globals.h"

namespace {

constexpr int kSpinWidth = 60;
constexpr int kSpinHeight = 20;

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

SimpleGridCtl* create_data_grid(QWidget* parent, int x, int y, int width, int height) {
    auto* grid = new SimpleGridCtl(parent);
    grid->setGeometry(x, y, width, height);
    attach_control(grid);
    grid->show();
    return grid;
}

void setup_named_column_grid(SimpleGridCtl* grid) {
    grid->set_column_resizing(true);
    grid->set_lettered_column_headers(false);
    grid->set_numbered_row_headers(false);
    grid->set_stretch_last_column(false);
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
