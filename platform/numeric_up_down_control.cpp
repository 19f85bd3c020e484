#include "platform/numeric_up_down_control.h"

#include <QKeyEvent>
#include <algorithm>

#include "platform/control.h"
#include "platform/ui_globals.h"

namespace {

constexpr int kSpinWidth = 17;

void write_position(NumericUpDownControl* control) {
    control->edit->setText(QString::number(control->position));
}

void layout_children(NumericUpDownControl* control) {
    const int w = control->width();
    const int h = control->height();
    const int edit_width = w > kSpinWidth ? w - kSpinWidth : 0;
    control->edit->setGeometry(0, 0, edit_width, h);
    control->up->setGeometry(edit_width, 0, w - edit_width, h / 2);
    control->down->setGeometry(edit_width, h / 2, w - edit_width, h - h / 2);
}

QToolButton* spin_button(NumericUpDownControl* parent, Qt::ArrowType arrow) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    attach_control(button);
    return button;
}

}  // namespace

NumericUpDownControl::NumericUpDownControl(QWidget* parent) : QWidget(parent) {
    setObjectName("NumericUpDownControl");
    edit = new QLineEdit(this);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setProperty(kWantsEnterProperty, true);
    up = spin_button(this, Qt::UpArrow);
    down = spin_button(this, Qt::DownArrow);
    setFocusProxy(edit);
    attach_control(edit, [this](QWidget*, QEvent* event, bool& proceed) {
        switch (event->type()) {
            case QEvent::FocusOut:
                numeric_up_down_commit(this, true, true);
                break;
            case QEvent::KeyPress: {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    numeric_up_down_commit(this, true, true);
                    proceed = false;
                } else if (key == Qt::Key_Up || key == Qt::Key_Down) {
                    numeric_up_down_step(this, key == Qt::Key_Up ? 1 : -1);
                    proceed = false;
                }
                break;
            }
            default:
                break;
        }
    });
    connect(up, &QToolButton::clicked, this, [this] { numeric_up_down_step(this, 1); });
    connect(down, &QToolButton::clicked, this, [this] { numeric_up_down_step(this, -1); });
    write_position(this);
}

NumericUpDownControl::~NumericUpDownControl() {
    // The field loses the focus while it is destroyed; that must not commit into this half-destroyed control.
    if (ControlRecord* record = control_record(edit)) record->handler = nullptr;
}

int32_t up_down_read_position(std::u16string_view text, int32_t current, int32_t minimum, int32_t maximum) {
    size_t i = 0;
    auto blank = [&](size_t k) { return k < text.size() && (text[k] == u' ' || text[k] == u'\t'); };
    while (blank(i)) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    const size_t digits_start = i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (value <= int64_t{1} << 40) value = value * 10 + (text[i] - u'0');
    }
    if (i == digits_start) return current;
    while (blank(i)) ++i;
    if (i != text.size()) return current;
    if (negative) value = -value;
    if (value < minimum) return minimum;
    if (value > maximum) return maximum;
    return static_cast<int32_t>(value);
}

NumericUpDownControl* create_numeric_up_down(QWidget* parent, int x, int y, int width, int height) {
    auto* control = new NumericUpDownControl(parent);
    control->setGeometry(x, y, width, height);
    control->setFont(ui_font());
    layout_children(control);
    control->show();
    return control;
}

void numeric_up_down_set_min(NumericUpDownControl* control, int32_t value) {
    control->minimum = value;
    numeric_up_down_set_position(control, control->position);
}

void numeric_up_down_set_max(NumericUpDownControl* control, int32_t value) {
    control->maximum = value;
    numeric_up_down_set_position(control, control->position);
}

void numeric_up_down_set_position(NumericUpDownControl* control, int32_t value) {
    const int32_t low = std::min(control->minimum, control->maximum);
    const int32_t high = std::max(control->minimum, control->maximum);
    control->position = std::clamp(value, low, high);
    write_position(control);
}

void numeric_up_down_commit(NumericUpDownControl* control, bool rewrite, bool notify) {
    const int32_t low = std::min(control->minimum, control->maximum);
    const int32_t high = std::max(control->minimum, control->maximum);
    control->position = up_down_read_position(to_u16(control->edit->text()), control->position, low, high);
    if (rewrite) write_position(control);
    if (control->position == control->last_reported) return;
    control->last_reported = control->position;
    if (notify && control->on_change) control->on_change(control->position);
}

void numeric_up_down_step(NumericUpDownControl* control, int32_t delta) {
    const int32_t low = std::min(control->minimum, control->maximum);
    const int32_t high = std::max(control->minimum, control->maximum);
    const int32_t from = up_down_read_position(to_u16(control->edit->text()), control->position, low, high);
    control->position = static_cast<int32_t>(std::clamp<int64_t>(int64_t{from} + delta, low, high));
    write_position(control);
    numeric_up_down_commit(control, false, true);
    control->edit->setCursorPosition(static_cast<int>(control->edit->text().size()));
}
