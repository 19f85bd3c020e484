// Message boxes of the shell: the error box that shows every message of the program, and the hint box.
#pragma once

#include <QWidget>
#include <string_view>

// The GUI's message presenter: a modal error box over the active window.
void present_in_message_box(std::u16string_view title, std::u16string_view text);

// A modal information box owned by `owner` with an OK button.
void show_information_box(QWidget* owner, std::u16string_view title, std::u16string_view text);
