// The "roots" command: solves an algebraic equation as the algebraic-equations window does and writes exactly the
// text its output box receives.
#pragma once

// Runs "calcarium-cli roots ..." (argv[0] is the command word) and returns the exit status: 0 when the roots were
// written, 1 when a message was shown (on standard error), 2 for a usage error.
int run_roots_command(int argc, char** argv);

extern const char kRootsUsage[];
