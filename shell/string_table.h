// The texts of the user interface in the user's language: 137 slots, each with one fixed use, filled once at
// start-up from the English or the German set.
#pragma once

#include <cstdint>

inline constexpr int kStringSlots = 137;

enum Language : uint32_t {
    kLanguageAutomatic = 1,
    kLanguageEnglish = 2,
    kLanguageGerman = 3,
};

// Slots that the message routines address by name.
enum StringSlot : int {
    kSlotErrorTitle = 99,
    kSlotAllRight = 100,
    kSlotUnknownMessage = 125,
    kSlotUnknownFormulaError = 131,
};

struct StringTable {
    const char16_t* text[kStringSlots];
};

// The one table of the process; every slot reads "???" until a language set is loaded.
extern StringTable string_table;

// Fills every slot with "???", then with the German set for kLanguageGerman and the English set otherwise.
void load_string_table(uint32_t language);

// The effective language (English or German) for the language setting: automatic chooses German when the
// locale's message language (LC_ALL, else LC_MESSAGES, else LANG; the first one set and not empty) starts with
// "de", and English otherwise.
uint32_t select_language(uint32_t setting);
