// The special real values selected by a code: zero, the smallest and the largest representable number and pi.
// The typed layer hands these codes through for every number type; the rational type keeps its own exact
// constants for codes 0, 12 and 13 and takes the real value for every other code.
#pragma once

#include "numeric/num_context.h"

enum SpecialValueCode : int {
    kSpecialZero = 0,
    kSpecialZeroAlt = 1,
    kSpecialSmallest = 10,          // mantissa 1, E = -(2^62 - 1)
    kSpecialLargest = 11,           // E = 2^62 - 1, every limb 10^19 - 1
    kSpecialSmallestRational = 12,  // 1/M in the rational type
    kSpecialLargestRational = 13,   // M/1 in the rational type
    kSpecialPi = 100,
    kSpecialImaginaryUnit = 101,  // exists only in the complex type
};

// dst = the real special value of `code` at the current precision. Codes without a real value raise error 14 and
// give +0. Pi is twice the constant pi/2 computed with one extra limb and rounded half up.
void real_set_special(RealNum* dst, int code);
