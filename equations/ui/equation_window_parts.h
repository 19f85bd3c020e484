// Pieces the algebraic-equations, linear-systems and polynomial windows share: labelled spin fields, the data grid,
// the output box, the wait cursor around a command and the layout of the two grid windows.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "grid/simple_grid.h"
#include "platform/form.h"
#include "platform/numeric_up_down_control.h"

// Top of the data grid in the linear-systems and polynomial windows.
inline constexpr int kGridWindowGridTop = 102;
// Command buttons: size, and their distance from the bottom and (for "Cancel") from the right edge.
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 25;
inline constexpr int kButtonBottomOffset = 33;
inline constexpr int kCancelRightOffset = 85;

// The pattern with its first "%s" replaced by value.
std::u16string fill_text_pattern(std::u16string_view pattern, std::u16string_view value);

// prefix, the number in decimal, suffix: the headers "a12", "3", "P0(x)".
std::u16string numbered_text(std::u16string_view prefix, int number, std::u16string_view suffix = u"");

// A spin field with its range and start value; the start value counts as reported, so only a later change of the
// position reaches on_change.
NumericUpDownControl* create_spin_field(QWidget* parent, int x, int y, int32_t minimum, int32_t maximum, int32_t start,
                                        std::function<void(int32_t)> on_change);

// An empty grid attached to the framework.
SimpleGridCtl* create_data_grid(QWidget* parent, int x, int y, int width, int height);

// The grid of the linear-systems and polynomial windows: resizable columns headed by their stored texts, row
// headers with their stored texts, no stretched last column.
void setup_named_column_grid(SimpleGridCtl* grid);

// A multi-line output box with both scroll bars.
QPlainTextEdit* create_output_box(QWidget* parent);

// Replaces the box's text with the engine's text, whose lines end in CR LF.
void set_output_text(QPlainTextEdit* box, std::u16string_view text);

// The engine's output text as the box holds it: line breaks as single LF characters.
QString output_box_text(std::u16string_view text);

// Shows the wait cursor while it lives.
class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Layout of the linear-systems and polynomial windows for the client size: the grid and the output box share the
// height below the grid top, the label above the grid takes the width, the buttons keep their x at the bottom and
// "Cancel" moves to the right edge.
void layout_grid_window(QWidget* form, QLabel* label, SimpleGridCtl* grid, QPlainTextEdit* output,
                        std::initializer_list<QPushButton*> buttons, QPushButton* cancel);
