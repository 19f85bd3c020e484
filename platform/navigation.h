// Keyboard navigation through a form: the tab order is the depth-first order of the form's child widgets (their
// creation order); radio buttons that follow each other under one parent form a group.
#pragma once

#include <QRadioButton>
#include <QWidget>
#include <vector>

// Visible, enabled, accepting Tab focus, not a window of its own and not delegating its focus to another widget.
bool is_tab_stop_candidate(const QWidget* widget);

// Every widget below root, depth first, without descending into other windows.
std::vector<QWidget*> widgets_in_tab_order(QWidget* root);

// The first tab stop below root, or null.
QWidget* first_tab_stop(QWidget* root);

// The radio buttons of the group the button belongs to, in order.
std::vector<QRadioButton*> radio_group(QRadioButton* button);

// The tab stop after (forward) or before `from` in root, wrapping at the ends. From a radio button the search
// starts after the group's last (before its first) visible button. Null when root has no other tab stop.
QWidget* next_tab_stop(QWidget* root, QWidget* from, bool forward);

// Where the focus goes when Tab lands on the widget: for a radio button its group's checked button, else the
// group's first visible button, which is then checked; any other widget is its own target.
QWidget* tab_target(QWidget* found);

// Moves the focus from `from` to the next tab stop and returns the focused widget (null when there is none).
QWidget* move_to_next_tab_stop(QWidget* from, bool forward);

// The next (forward) or previous visible radio button of the group, or null at the group's end.
QRadioButton* neighbour_in_radio_group(QRadioButton* button, bool forward);
