// The main window: a title bar with the menu that shows every other window. Closing it ends the program.
#pragma once

#include "platform/form.h"

Form* create_main_window();

// Carries out a menu command; identifiers outside 101..302 are ignored.
void main_window_command(int command);
