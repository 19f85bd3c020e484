#include "shell/ui/app_windows.h"

#include "primes/ui/prime_job_host.h"
#include "shell/ui/about_box.h"
#include "shell/ui/help.h"
#include "shell/ui/main_window.h"
#include "shell/ui/module_windows.h"
#include "shell/ui/options_dialog.h"

AppWindows app_windows{};

void create_windows() {
    AppWindows& w = app_windows;
    w.main = create_main_window();
    w.calculator = create_module_window(kCmdCalculator);
    w.algebraic_equations = create_module_window(kCmdAlgebraicEquations);
    w.prime_numbers = create_module_window(kCmdPrimeNumbers);
    w.prime_factors = create_module_window(kCmdPrimeFactors);
    w.options = create_options_dialog();
    w.polynomials = create_module_window(kCmdPolynomials);
    w.about = create_about_box();
    w.linear_systems = create_module_window(kCmdLinearSystems);
    w.help = create_help_window();
    set_prime_windows_main_window(w.main);  // a closed prime window hands the activation back to the main window
}

void destroy_windows() {
    AppWindows& w = app_windows;
    for (Form* form : {w.help, w.linear_systems, w.about, w.polynomials, w.options, w.prime_factors, w.prime_numbers,
                       w.algebraic_equations, w.calculator, w.main}) {
        delete form;
    }
    w = {};
}

Form* module_window_for(int command) {
    switch (command) {
        case kCmdCalculator:
            return app_windows.calculator;
        case kCmdAlgebraicEquations:
            return app_windows.algebraic_equations;
        case kCmdLinearSystems:
            return app_windows.linear_systems;
        case kCmdPolynomials:
            return app_windows.polynomials;
        case kCmdPrimeNumbers:
            return app_windows.prime_numbers;
        case kCmdPrimeFactors:
            return app_windows.prime_factors;
        default:
            return nullptr;
    }
}
