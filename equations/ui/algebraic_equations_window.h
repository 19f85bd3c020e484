// The algebraic-equations window: degree, mode, result type, precision and multiplicity controls, a one-column grid
// of the coefficients a_n (top) .. a_0 (bottom), the output box, "Solve" and "Cancel".
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "equations/ui/equation_window_parts.h"

struct AlgebraicEquationsWindow {
    Form* form;
    NumericUpDownControl* degree;
    QComboBox* mode;         // "real", "complex"
    QComboBox* result_type;  // "Approximation", "Exact value"
    NumericUpDownControl* precision;
    QCheckBox* multiplicity;
    QLabel* prompt;
    SimpleGridCtl* grid;
    QPlainTextEdit* output;
    QPushButton* solve;
    QPushButton* cancel;
    // The degree the grid rows stand for; -1 before the first degree change.
    int shown_degree;
};

// The one window of the process; all null before creation and after the form is destroyed.
extern AlgebraicEquationsWindow algebraic_equations_window;

// Builds the window (hidden) with degree 2.
Form* create_algebraic_equations_window();

// Degree handler: the prompt, the coefficient rows and the maximum of "Precision" follow the new degree.
void algebraic_equations_set_degree(int degree);

// The "Solve" button: reads the controls and the grid, solves, writes the output box and shows a message.
void algebraic_equations_solve();

// Places the grid, the prompt, the output box and the buttons for the form's client size.
void algebraic_equations_layout();
