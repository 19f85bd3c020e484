// The scientific calculator's window: the entry line above the keypad panel. It turns key clicks, edits of the entry
// line and changes of the mode controls into calls of the calculator engine, and shows what the engine writes back.
// Closing it hides it; the engine's state survives.
#pragma once

#include <QPlainTextEdit>
#include <QPushButton>

#include "calculator/calculator_engine.h"
#include "calculator/ui/sci_calc_grid_control.h"
#include "platform/form.h"

struct CalculatorWindow {
    Form* form;
    // Takes the focus when a key is clicked, so that the entry line loses it.
    QPushButton* focus_sink;
    QPlainTextEdit* entry;
    SciCalcGridControl* panel;
    Calculator engine;
    // Set while the engine replaces, appends or deletes entry text: those changes are not the user's edits.
    bool engine_writes;
    // The wait cursor is shown while the engine evaluates a key.
    bool busy;
};

extern CalculatorWindow calculator_window;

inline constexpr int kCalculatorWidth = 370;
inline constexpr int kCalculatorHeight = 355;

// Builds the window (hidden) with the number type, angle unit and precision of the settings, base 10, and the
// calculator cleared to 0.
Form* create_calculator_window();
