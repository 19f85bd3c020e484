// Pollard's rho method with Brent's cycle search (Brent 1980) on Montgomery arithmetic of one or two words.
#pragma once

#include <cstdint>

#include "primes/montgomery128.h"
#include "primes/wheel_table.h"

// A divisor 1 < d < n of the odd composite n, found by iterating x -> x^2 + c from the start x0 for at most
// max_steps steps; 0 when none was found (the walk closed its cycle, the step budget ran out, or the stop flag was
// set). The flag is read once per batch of 128 steps.
u128 rho_divisor(u128 n, uint64_t c, uint64_t x0, uint64_t max_steps, const StopFlag& stop);
