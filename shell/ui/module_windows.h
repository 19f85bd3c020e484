// The six module windows: their client sizes, titles and menu commands. A module whose window is not built yet is
// shown as an empty form of its size and title.
#pragma once

#include "platform/form.h"

struct ModuleWindowEntry {
    int command;
    int client_width;
    int client_height;
    int title_slot;
    // Builds the module's window (hidden); null while the module has no window yet.
    Form* (*create)();
};

// The entry of the module shown by a menu command (201..206), or null.
const ModuleWindowEntry* module_window_entry(int command);

// The module's window, or its empty placeholder.
Form* create_module_window(int command);
