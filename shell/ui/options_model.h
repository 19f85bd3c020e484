// What the options dialog shows and stores: the controls' state as a plain record, and the rules that turn it into
// settings. Standard library only.
#pragma once

#include <cstdint>

#include "shell/settings.h"
#include "shell/string_table.h"

struct OptionsChoice {
    bool point;
    bool comma;
    bool sep_sci_calc;
    bool sep_equations;
    bool sep_algebra;
    bool automatic;
    bool english;
    bool german;
};

// The controls as the settings ask: a radio button for each known value, none for a value out of range.
OptionsChoice options_choice_from(const Settings& s);

struct OptionsOutcome {
    bool changed;
    bool decimal_point_changed;
    bool language_changed;
};

// Stores each value that differs from s and tells what changed. Comma wins only without point; a grouping flag is
// 1 when checked; the language is English or German when checked, else automatic.
OptionsOutcome options_store(const OptionsChoice& choice, Settings& s);

// Sets the numeric context's decimal-point characters: ".," for point (0), ",." for comma (1); the first is written,
// both are read.
void apply_decimal_point(uint32_t decimal_point);
