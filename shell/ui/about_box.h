// The about box: the program's icon, name and version, a short text, the legal lines, and buttons that open the
// contact and donation pages of the help.
#pragma once

#include <QLabel>
#include <QPushButton>

#include "platform/form.h"

struct AboutBox {
    Form* form;
    QLabel* name_line;
    QLabel* text;
    QLabel* legal;
    QPushButton* contact;
    QPushButton* donate;
    QPushButton* ok;
};

extern AboutBox about_box;

Form* create_about_box();
