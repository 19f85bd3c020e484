// The windows of the program, created once at start-up (all hidden) and kept until the process ends.
#pragma once

#include <cstdint>

#include "platform/form.h"

inline constexpr const char16_t* kProgramName = u"Calcarium";
inline constexpr const char16_t* kProgramVersion = u"3.00";

// Menu command identifiers of the main window.
enum MenuCommand : int {
    kCmdOptions = 101,
    kCmdExit = 102,
    kCmdCalculator = 201,
    kCmdAlgebraicEquations = 202,
    kCmdLinearSystems = 203,
    kCmdPolynomials = 204,
    kCmdPrimeNumbers = 205,
    kCmdPrimeFactors = 206,
    kCmdShowHelp = 301,
    kCmdAbout = 302,
};

struct AppWindows {
    Form* main;
    Form* calculator;
    Form* algebraic_equations;
    Form* prime_numbers;
    Form* prime_factors;
    Form* options;
    Form* polynomials;
    Form* about;
    Form* linear_systems;
    Form* help;
};

extern AppWindows app_windows;

// Creates the window set in its fixed order, all hidden.
void create_windows();
// Deletes every window (at exit, before the application object goes).
void destroy_windows();

// The module window that a menu command shows, or null.
Form* module_window_for(int command);
