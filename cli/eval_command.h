// The "eval" command: computes formulas as the scientific calculator computes an entry line followed by "=", and
// writes each result as the calculator's display shows it.
#pragma once

#include <cstdint>
#include <string>

struct EvalOptions {
    uint32_t number_type;  // NumberType
    int digits;            // 5 .. 10000
    int base;              // 2, 8, 10 or 16 (unsigned integers only)
    bool group;            // digit grouping
    bool comma;            // "," as decimal point
};

inline constexpr int kMaxEntryChars = 40961;
inline constexpr int kMinDigits = 5;
inline constexpr int kMaxDigits = 10000;
inline constexpr int kCalculatorIntLimbs = 512;

// Installs the options in the numeric context: number type, limb counts, number characters.
void install_eval_options(const EvalOptions& options);

// Computes one entry line under the installed options. On success stores the display text in result and returns
// true; on failure shows the message (through the installed presenter) and returns false.
bool compute_entry_line(const EvalOptions& options, const std::u16string& entry, std::u16string& result);

// Runs "calcarium-cli eval ARGS..." (args without the command name) and returns the exit status: 0 when every
// formula was computed, 1 when any failed, 2 for a usage error.
int run_eval_command(int argc, char** argv);

extern const char kEvalUsage[];
