// The linear-systems window: equation count, number type and precision, a grid of the coefficients a1..a25 and b
// with one row per equation, the output box, and "Solve", "Clear", "Load", "Save as" and "Cancel".
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "equations/ui/equation_window_parts.h"
#include "equations/ui/grid_file_dialog.h"
#include "platform/number_type_control.h"

struct LinearSystemsWindow {
    Form* form;
    NumericUpDownControl* count;
    NumberTypeControl* number_type;
    NumericUpDownControl* precision;
    QLabel* help;
    SimpleGridCtl* grid;
    QPlainTextEdit* output;
    QPushButton* solve;
    QPushButton* clear;
    QPushButton* load;
    QPushButton* save_as;
    QPushButton* cancel;
    GridFileDialogMemory files;
};

// The one window of the process; all null before creation and after the form is destroyed.
extern LinearSystemsWindow linear_systems_window;

// Builds the window (hidden) with two equations.
Form* create_linear_systems_window();

// Count handler: n rows, the coefficient columns a1..an shown and a(n+1)..a25 hidden, the cursor on the first cell.
void linear_systems_set_count(int count);

// The buttons. Load and Save as run their file dialogs.
void linear_systems_solve();
void linear_systems_clear();
void linear_systems_load();
void linear_systems_save_as();

// Loading and saving a named file, as the buttons do after their dialogs; the pending message is shown.
void linear_systems_load_file(const QString& file_name);
void linear_systems_save_file(const QString& file_name);

void linear_systems_layout();
