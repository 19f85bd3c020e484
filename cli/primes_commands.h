// The "primes" and "factors" commands: the prime-number and prime-factor jobs of the prime windows, with the same
// input checks, writing to standard output exactly the text the window's output box receives.
#pragma once

// Run "calcarium-cli primes ..." and "calcarium-cli factors ..." (argv[0] is the command word) and return the exit
// status: 0 when the job ran to its end, 1 when a message was shown (invalid input, overflow, too many divisors),
// 2 for a usage error, 130 when Ctrl+C stopped the job.
int run_primes_command(int argc, char** argv);
int run_factors_command(int argc, char** argv);

extern const char kPrimesUsage[];
extern const char kFactorsUsage[];
