// The options dialog: decimal separator, digit grouping and language. It shows the settings every time it becomes
// the active window, so unconfirmed changes are dropped when the user leaves it; OK stores what differs.
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "platform/form.h"
#include "platform/tab_control.h"

struct OptionsDialog {
    Form* form;
    TabControl* tabs;
    QWidget* numbers_page;
    QWidget* language_page;
    QRadioButton* point;
    QRadioButton* comma;
    QCheckBox* sep_sci_calc;
    QCheckBox* sep_equations;
    QCheckBox* sep_algebra;
    QRadioButton* automatic;
    QRadioButton* english;
    QRadioButton* german;
    QPushButton* ok;
    QPushButton* cancel;
};

extern OptionsDialog options_dialog;

Form* create_options_dialog();

// Sets the controls from the settings.
void options_load_controls();
// OK: stores the differences (applying a new decimal point at once, hinting at a new language) and hides.
void options_accept();
