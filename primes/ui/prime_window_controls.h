// The edit boxes of the prime windows and the filling of their labels.
#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <initializer_list>
#include <string>
#include <string_view>

// A multi-line box with a vertical scroll bar and a sunken edge, attached to the framework.
QPlainTextEdit* create_text_box(QWidget* parent, int x, int y, int width, int height);
// A one-line box for a number, without a practical length limit.
QLineEdit* create_number_box(QWidget* parent, int x, int y, int width, int height);

// The pixel layout was drawn for a narrow dialog font; with a wider face the option texts would be cut. The button
// grows to its text, and the group to its buttons; the growth of the group (0 when it fits) is returned so that
// groups to its right can move along.
void fit_to_text(QAbstractButton* button);
int fit_group(QGroupBox* group);

// Replace the box's text, only when it differs (so that an unchanged text keeps its cursor and undo history).
void set_text_box(QPlainTextEdit* box, std::u16string_view text);
void set_number_box(QLineEdit* box, std::u16string_view text);

// The pattern with each "%d" replaced by the next value, in order.
std::u16string format_count_text(std::u16string_view pattern, std::initializer_list<int> values);
