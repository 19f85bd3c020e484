// The polynomial window: polynomial count, maximum degree, number type and precision, a grid with one polynomial
// P0(x), P1(x), ... per row and the coefficients a20..a0 in its columns, the output box, and "Multiply", "Divide"
// (only for two polynomials) and "Cancel".
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "equations/ui/equation_window_parts.h"
#include "platform/number_type_control.h"

struct PolynomialsWindow {
    Form* form;
    NumericUpDownControl* count;
    NumericUpDownControl* max_degree;
    NumberTypeControl* number_type;
    NumericUpDownControl* precision;
    QLabel* prompt;
    SimpleGridCtl* grid;
    QPlainTextEdit* output;
    QPushButton* multiply;
    QPushButton* divide;
    QPushButton* cancel;
};

// The one window of the process; all null before creation and after the form is destroyed.
extern PolynomialsWindow polynomials_window;

// Builds the window (hidden) with two polynomials of maximum degree 2.
Form* create_polynomials_window();

// Count handler: one row per polynomial; "Divide" is enabled for two polynomials only.
void polynomials_set_count(int count);

// Degree handler: the columns a_m..a_0 shown, the higher ones hidden, the cursor on a_m, the prompt's term text.
void polynomials_set_max_degree(int degree);

// The buttons: the output box gets the product, or the quotient and remainder; a message is shown.
void polynomials_multiply();
void polynomials_divide();

void polynomials_layout();
