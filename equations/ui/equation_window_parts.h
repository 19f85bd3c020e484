// Pieces the algebraic-equations, linear-systems and polynomial windows share: the form, labelled spin fields, the
// number type and precision fields, the data grid, the output box, the command buttons, the running of a command
// into the output box under the wait cursor, and the layout of the two grid windows.
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
#include "platform/number_type_control.h"
#include "platform/numeric_up_down_control.h"

// Top of the data grid in the linear-systems and polynomial windows.
inline constexpr int kGridWindowGridTop = 102;
// "Precision" of the equation windows: the fewest digits, the digits it starts with, and the most digits of the two
// grid windows (in the algebraic-equations window the most follows the degree).
inline constexpr int kEquationMinPrecision = 5;
inline constexpr int kEquationStartPrecision = 10;
inline constexpr int kGridWindowMaxPrecision = 1000;
// Command buttons: size, and their distance from the bottom and (for "Cancel") from the right edge.
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 25;
inline constexpr int kButtonBottomOffset = 33;
inline constexpr int kCancelRightOffset = 85;

// The pattern with its first "%s" replaced by value.
std::u16string fill_text_pattern(std::u16string_view pattern, std::u16string_view value);

// prefix, the number in decimal, suffix: the headers "a12", "3", "P0(x)".
std::u16string numbered_text(std::u16string_view prefix, int number, std::u16string_view suffix = u"");

// The hidden form of an equation window: a resize runs layout, and its destruction runs forget, which empties the
// window's record.
Form* create_equation_form(int client_width, int client_height, std::u16string_view title, void (*layout)(),
                           void (*forget)());

// A spin field with its range and start value; the start value counts as reported, so only a later change of the
// position reaches on_change.
NumericUpDownControl* create_spin_field(QWidget* parent, int x, int y, int32_t minimum, int32_t maximum, int32_t start,
                                        std::function<void(int32_t)> on_change);

// A spin field in the top row of the grid windows: its label at (x, 10), the field at (x, 30) under it.
NumericUpDownControl* create_labelled_spin_field(QWidget* parent, int x, int label_width, std::u16string_view label,
                                                 int32_t minimum, int32_t maximum, int32_t start,
                                                 std::function<void(int32_t)> on_change);

// "Number type" (real chosen) at x and "Precision" (up to 1000 digits) 100 pixels to its right, each under its
// label, in the top row of the grid windows.
void create_number_fields(QWidget* parent, int x, NumberTypeControl** number_type, NumericUpDownControl** precision);

// An empty grid attached to the framework.
SimpleGridCtl* create_data_grid(QWidget* parent, int x, int y, int width, int height);

// The empty grid of the linear-systems and polynomial windows across the client width: resizable columns headed by
// their stored texts, row headers with their stored texts, no stretched last column.
SimpleGridCtl* create_named_column_grid(QWidget* parent, int client_width);

// A multi-line output box with both scroll bars.
QPlainTextEdit* create_output_box(QWidget* parent);

// A button of the bottom row: where the window keeps it, its text and what a click runs.
struct CommandButton {
    QPushButton** button;
    std::u16string_view text;
    void (*run)();
};

// The command buttons along the bottom from the left, 90 pixels apart, the first of them the default button, and
// cancel at the right edge.
void create_command_buttons(Form* form, int client_width, int client_height,
                            std::initializer_list<CommandButton> commands, const CommandButton& cancel);

// Runs an engine command under the wait cursor: the output box is emptied (and shown so) before and gets the
// command's text after; then the pending message is shown.
void run_output_command(QPlainTextEdit* output, const std::function<void(std::u16string* text)>& command);

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
