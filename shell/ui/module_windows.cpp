#include "shell/ui/module_windows.h"

#include "calculator/ui/calculator_window.h"
#include "equations/ui/algebraic_equations_window.h"
#include "equations/ui/linear_systems_window.h"
#include "equations/ui/polynomials_window.h"
#include "primes/ui/prime_factors_window.h"
#include "primes/ui/prime_numbers_window.h"
#include "shell/string_table.h"
#include "shell/ui/app_windows.h"

namespace {

const ModuleWindowEntry kModuleWindows[] = {
    {kCmdCalculator, 370, 355, 17, create_calculator_window},
    {kCmdAlgebraicEquations, 505, 390, 62, create_algebraic_equations_window},
    {kCmdLinearSystems, 505, 420, 74, create_linear_systems_window},
    {kCmdPolynomials, 505, 420, 86, create_polynomials_window},
    {kCmdPrimeNumbers, 650, 368, 31, create_prime_numbers_window},
    {kCmdPrimeFactors, 562, 316, 22, create_prime_factors_window},
};

}  // namespace

const ModuleWindowEntry* module_window_entry(int command) {
    for (const auto& entry : kModuleWindows) {
        if (entry.command == command) return &entry;
    }
    return nullptr;
}

Form* create_module_window(int command) {
    const ModuleWindowEntry* entry = module_window_entry(command);
    if (entry == nullptr) return nullptr;
    if (entry->create != nullptr) return entry->create();
    return create_form(entry->client_width, entry->client_height, string_table.text[entry->title_slot], {});
}
