// calcarium-cli: the engines of Calcarium for scripting.
#include <cstdio>
#include <cstring>

#include "cli/eval_command.h"
#include "numeric/num_context.h"
#include "shell/string_table.h"
#ifdef CALCARIUM_CLI_PRIMES
#include "cli/primes_commands.h"
#endif
#ifdef CALCARIUM_CLI_KEYS
#include "cli/keys_command.h"
#endif
#ifdef CALCARIUM_CLI_ROOTS
#include "cli/roots_command.h"
#endif
#ifdef CALCARIUM_CLI_LINEAR_POLY
#include "cli/linear_poly_commands.h"
#endif

namespace {

const char kUsage[] =
    "Calcarium command-line program\n"
    "\n"
    "usage: calcarium-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  eval      compute formulas as the scientific calculator does (real, rational, complex, unsigned integer)\n"
#ifdef CALCARIUM_CLI_KEYS
    "  keys      run the scientific calculator on a sequence of keypad keys\n"
#endif
#ifdef CALCARIUM_CLI_ROOTS
    "  roots     roots of an algebraic equation with their multiplicities\n"
#endif
#ifdef CALCARIUM_CLI_LINEAR_POLY
    "  linear    solve the system of linear equations of a grid file\n"
    "  poly      multiply or divide polynomials\n"
#endif
#ifdef CALCARIUM_CLI_PRIMES
    "  primes    primality test, next prime, primes of an interval\n"
    "  factors   prime factors and divisors of a number or a run of numbers\n"
#endif
    "\n"
    "\"calcarium-cli COMMAND --help\" describes a command.\n";

// A command's entry: its arguments start with the command word.
struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

int run_eval(int argc, char** argv) {
    return run_eval_command(argc - 1, argv + 1);
}

const Command kCommands[] = {
    {"eval", run_eval},
#ifdef CALCARIUM_CLI_KEYS
    {"keys", run_keys_command},
#endif
#ifdef CALCARIUM_CLI_ROOTS
    {"roots", run_roots_command},
#endif
#ifdef CALCARIUM_CLI_LINEAR_POLY
    {"linear", run_linear_command},
    {"poly", run_poly_command},
#endif
#ifdef CALCARIUM_CLI_PRIMES
    {"primes", run_primes_command},
    {"factors", run_factors_command},
#endif
};

}  // namespace

int main(int argc, char** argv) {
    init_numeric_context();
    load_string_table(select_language(kLanguageAutomatic));
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "calcarium-cli: unknown command \"%s\"\nTry \"calcarium-cli --help\".\n", argv[1]);
    return 2;
}
