// The scientific calculator without its window: an operator-precedence engine over an operand stack of typed
// values, driven by keypad keys (keypad_table.h) and by the user's edits of the entry line. The entry line is both
// the input field and the result display; every operator or function key reads it, computes, and writes the
// current result back. Failures become message codes shown through the message presenter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calculator/keypad_table.h"

// What the engine asks of its window. The engine's own changes of the entry text (set, append, delete) must not be
// reported back through entry_changed; only the user's edits are. Every callback receives `owner`.
struct CalculatorView {
    void* owner;
    void (*get_entry)(void* owner, std::u16string* text);
    void (*set_entry)(void* owner, std::u16string_view text);
    void (*append_entry)(void* owner, std::u16string_view text);
    void (*delete_last_char)(void* owner);
    void (*set_paren_indicator)(void* owner, std::u16string_view text);     // "" or "(3"
    void (*set_register_indicator)(void* owner, std::u16string_view text);  // "" or "Mxx", "M1x", "M?x", "M19"
    void (*set_digit_counter)(void* owner, std::u16string_view text);       // "12 " (unsigned integers)
    void (*show_inexact)(void* owner, bool shown);                          // the "[ ]" indicator
    void (*enable_key)(void* owner, int cell, bool enabled);
    void (*label_keys)(void* owner, uint32_t number_type);  // also shows the mode controls of the type
    void (*set_wait_cursor)(void* owner, bool busy);
};

enum AngleType : uint32_t {
    kAngleDegrees = 1,
    kAngleRadians = 2,
    kAngleGon = 3,
};

enum EntryState : uint32_t {
    kResultShown = 0,      // the entry line shows the top value
    kOperatorPending = 1,  // an operator or "(.." was just pressed; the next character replaces the text
    kEditing = 2,          // the user types the next operand; it is read when the next operator comes
};

enum DisplayMode : uint32_t {
    kDisplayNormal = 0,
    kDisplayFixed = 1,
    kDisplayExponential = 2,
    kDisplayDecimal = 3,
    kDisplayFraction = 4,
};

enum RegisterSelect : uint32_t {
    kRegisterOff = 0,
    kRegisterRead = 1,   // after MxR
    kRegisterWrite = 2,  // after MxW
};

inline constexpr int kCalcStackEntries = 44;
inline constexpr int kCalcMaxEntryChars = 40961;
inline constexpr int kCalcIntLimbs = 512;
inline constexpr int kCalcMaxParens = 10;
// One value of the largest type at the largest precision: a complex number of 2 * (527 + 1) words.
inline constexpr int kCalcValueBytes = 8448;
inline constexpr size_t kCalcValueWords = kCalcValueBytes / 8;

struct CalcStackEntry {
    uint32_t parens_before;       // parentheses opened before this operand
    std::vector<uint64_t> value;  // kCalcValueWords, allocated when the slot is first used
    uint32_t pending_op;          // command waiting on this operand, 0 for none
};

// Browsing the complex n-th roots of a radicand with rt+ and rt-.
struct RootBrowse {
    uint32_t operation;  // kCmdSqrt, kCmdCbrt, kCmdRoot, or 0 when not browsing
    int64_t order;       // n
    int64_t index;       // k, 0 .. |n| - 1
    std::vector<uint64_t> radicand;
};

struct Calculator {
    CalculatorView view;
    uint32_t calc_type;      // NumberType
    int32_t calc_limbs;      // ceil(digits / 19), at least 1
    int32_t calc_int_limbs;  // kCalcIntLimbs
    int32_t digits;
    uint32_t base;        // 2, 8, 10 or 16 for unsigned integers
    uint32_t angle_unit;  // AngleType
    CalcStackEntry stack[kCalcStackEntries];
    int top;  // -1 when empty
    EntryState entry_state;
    DisplayMode display_mode;
    int32_t open_parens;
    int32_t pending_parens;  // opened since the last operand was pushed
    RegisterSelect register_select;
    int32_t register_tens;  // first digit of the register number, -1 when none yet
    std::u16string register_indicator;
    bool inexact_flag;
    bool had_exponent;
    RootBrowse root_browse;
    std::u16string entry_copy;  // the entry text as last read
    std::u16string text_out;    // display buffer of kCalcMaxEntryChars units
};

// Sets up the engine as the window's creation does: type, angle unit and digits (0 reads as 10), base 10, the keys
// labelled for the type, then clear_all. The settings are not touched.
void calculator_create(Calculator& c, const CalculatorView& view, uint32_t number_type, uint32_t angle_unit,
                       int32_t digits);

// A keypad key (cell 0..71) was clicked.
void press_key(Calculator& c, int cell);
// The user changed the entry text (typing, pasting), or a key appended or deleted characters.
void entry_changed(Calculator& c);
// The user is about to change the entry text by keyboard: a shown result is dropped and editing begins. While
// entry_state is not kEditing the window selects the whole entry text when the entry line gains the focus.
void entry_key(Calculator& c);

// Mode controls. The type, angle unit and digits are also stored in the settings when they change.
void set_number_type(Calculator& c, uint32_t number_type);
void set_angle_unit(Calculator& c, uint32_t angle_unit);
void set_digits(Calculator& c, int32_t digits);
void set_base(Calculator& c, uint32_t base);

// The AC key: empties the stack and shows 0.
void clear_all(Calculator& c);
