// The user's settings and the calculator's memory registers: one block per process, read from UserSettings.ini at
// start-up and written back at exit when something was changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "shell/ini_file.h"

inline constexpr int kRegisterCount = 20;
// Characters a register holds; longer texts are cut when read.
inline constexpr size_t kRegisterChars = 10100;

enum SettingsDirection : int {
    kSettingsRead = 1,
    kSettingsWrite = 2,
};

struct Settings {
    uint32_t language;       // 1 automatic, 2 English, 3 German
    uint32_t decimal_point;  // 0 point, 1 comma
    uint8_t thousands_sep_sci_calc;
    uint8_t thousands_sep_equations;
    uint8_t thousands_sep_algebra;
    uint32_t angle_type;                                   // 1 deg, 2 rad, 3 gon
    uint32_t number_type;                                  // 1 real, 2 rat, 3 cplx, 10 uint
    int32_t decimal_precision;                             // 0 when never set; the calculator reads it as 10
    std::optional<std::u16string> memory[kRegisterCount];  // null: never written; empty after MC
    uint8_t show_welcome_hint;
};

extern Settings settings;
// Set by every part that changes a field of settings; the file is written at exit only when it is set.
extern bool settings_changed;
// Empty until settings_path_init computes it.
extern std::filesystem::path settings_path;

// The folder of the settings file: $CALCARIUM_CONFIG_DIR when set, else $XDG_CONFIG_HOME/Calcarium, else
// $HOME/.config/Calcarium; empty when none of them is usable.
std::filesystem::path settings_folder();

// Computes settings_path once (the folder is created when missing; a failure to create it shows only when the file
// is written). Without a usable folder the path is "UserSettings.ini" in the current folder.
void settings_path_init();

// Reads every key of the file into s (a missing or damaged file gives every field its default) or writes every
// field of s into the file, keeping the file's other sections and keys. Returns the status of the file operation.
IniStatus settings_transfer(Settings& s, const std::filesystem::path& path, SettingsDirection direction);

// Start-up: computes the path, clears settings_changed and reads the settings.
IniStatus load_settings();
// Exit: writes the settings when settings_changed is set (then clears it); otherwise touches nothing.
IniStatus save_settings();
