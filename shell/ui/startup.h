// Start-up, event loop and exit of the program.
#pragma once

#include <QApplication>
#include <cstdint>

// 2 English or 3 German, chosen at start-up from the language setting.
extern uint32_t effective_language;

// Prepares everything in order: system version, dialog font, numeric context, settings, decimal point, string
// table, help path, the windows (hidden); shows the main window and, at the first start, the about box modally.
void start_application();

// Exit: writes the settings when something changed and deletes the windows.
void finish_application();

// The whole program: start-up, event loop, exit. Returns the loop's exit code.
int run_application(QApplication& app);
