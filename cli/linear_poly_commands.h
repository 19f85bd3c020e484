// The "linear" and "poly" commands: the Solve command of the linear-systems window on a grid file, and the Multiply
// and Divide commands of the polynomial window, writing to standard output exactly the text the window's output box
// receives (CR LF as plain line ends) and a message to standard error.
#pragma once

// Run "calcarium-cli linear ..." and "calcarium-cli poly ..." (argv[0] is the command word) and return the exit
// status: 0 on success, 1 when a message was shown, 2 for a usage error.
int run_linear_command(int argc, char** argv);
int run_poly_command(int argc, char** argv);

extern const char kLinearUsage[];
extern const char kPolyUsage[];
