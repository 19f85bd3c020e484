// Modal windows: the window is shown over the rest of the program, every other enabled window is disabled, and a
// nested event loop runs until the window is hidden or destroyed (or the program quits).
#pragma once

#include <QWidget>

#include "platform/form.h"

// Shows `window` owned by `owner` (which may be null) and returns when it is hidden again; the windows that were
// disabled for it, and only those, are enabled again, and the focus returns to where it was. Returns true when the
// loop ran (false when the window could not be shown).
bool run_modal(Form* window, QWidget* owner);

// True while run_modal runs for the window.
bool modal_loop_running(const Form* window);
