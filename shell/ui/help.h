// The user documentation: HTML pages per language (folders "en" and "de"), shown in the help window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/form.h"

// The folder of the pages in the effective language; empty when no language was chosen.
extern std::filesystem::path help_path;

// The folder of the language's pages: the first existing one of $CALCARIUM_HELP_DIR/<lang>,
// <program folder>/../share/calcarium/help/<lang>, <program folder>/help/<lang> and the source tree's
// docs/help/<lang>; the installed place when none exists. Empty for a language other than English or German.
std::filesystem::path find_help_folder(uint32_t language, const std::filesystem::path& program_folder);

// Start-up: computes help_path for the language.
void init_help_path(uint32_t language, const std::filesystem::path& program_folder);

// The help window (hidden); created at start-up.
Form* create_help_window();

// Shows the topic (a page name such as "Overview.html") in the help window. A missing page shows message 1005
// with its full path, an unreadable one message 1006.
void show_help(std::u16string_view topic);
