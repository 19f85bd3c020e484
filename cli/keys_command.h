// The "keys" command: runs the scientific calculator on a sequence of keypad keys given by their labels and
// prints the entry line after the last key.
#pragma once

// Runs "calcarium-cli keys ARGS..." (argv[0] is the command name) and returns the exit status: 0 without a message,
// 1 when a message was shown, 2 for a usage error.
int run_keys_command(int argc, char** argv);

extern const char kKeysUsage[];
