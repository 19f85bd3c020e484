// "NumericUpDownControl": an integer field with spin buttons. The typed text takes effect when it is committed:
// when the field loses the focus or Enter is typed in it. A commit rewrites the field with the position and reports
// the position once: a commit that finds the last reported value again reports nothing.
#pragma once

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string_view>

class NumericUpDownControl : public QWidget {
    Q_OBJECT
  public:
    explicit NumericUpDownControl(QWidget* parent);
    ~NumericUpDownControl() override;
    QLineEdit* edit;
    QToolButton* up;
    QToolButton* down;
    std::function<void(int32_t value)> on_change;
    int32_t minimum = 0;
    int32_t maximum = 100;
    int32_t position = 0;
    int32_t last_reported = 0;
};

// The position that the field's text stands for: a decimal integer (blanks around it allowed) is clamped into
// minimum..maximum; any other text keeps `current`.
int32_t up_down_read_position(std::u16string_view text, int32_t current, int32_t minimum, int32_t maximum);

// Range 0..100, position 0, last reported value 0.
NumericUpDownControl* create_numeric_up_down(QWidget* parent, int x, int y, int width, int height);

// Each keeps the other bound, clamps the position into the range and rewrites the field; nothing is reported.
void numeric_up_down_set_min(NumericUpDownControl* control, int32_t value);
void numeric_up_down_set_max(NumericUpDownControl* control, int32_t value);
// Sets the position (clamped) and rewrites the field; nothing is reported.
void numeric_up_down_set_position(NumericUpDownControl* control, int32_t value);

// Reads the position from the field; with `rewrite` writes it back as "%d". A position that differs from the last
// reported value becomes the last reported value and, with `notify`, is passed to on_change.
void numeric_up_down_commit(NumericUpDownControl* control, bool rewrite, bool notify);

// What a click on a spin button does: reads the field, moves the position by delta within the range, writes it,
// commits without rewriting and puts the caret at the end.
void numeric_up_down_step(NumericUpDownControl* control, int32_t delta);
