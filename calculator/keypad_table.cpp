#include "calculator/keypad_table.h"

#include "numeric/num_context.h"

namespace {

struct KeypadRow {
    KeypadKey uint_key;
    KeypadKey other_key;  // real, rational and complex, except the cells of kTypeKeys
};

constexpr KeypadKey kEmpty{nullptr, nullptr, kCmdNone, kKeyEmpty};

constexpr KeypadKey key(const char16_t* label, uint32_t command, uint8_t category) {
    return KeypadKey{label, label, command, category};
}

// clang-format off
const KeypadRow kRows[kKeypadCells] = {
    /*  0 */ {key(u"AC", kCmdClearAll, kKeyClear), key(u"AC", kCmdClearAll, kKeyClear)},
    /*  1 */ {key(u"Del", kCmdDelete, kKeyClear), key(u"Del", kCmdDelete, kKeyClear)},
    /*  2 */ {kEmpty, key(u"\"+\"", kCmdCharPlus, kKeyMemoryOther)},
    /*  3 */ {kEmpty, key(u"\"-\"", kCmdCharMinus, kKeyMemoryOther)},
    /*  4 */ {kEmpty, key(u"\"/\"", kCmdCharSlash, kKeyMemoryOther)},
    /*  5 */ {{u"[lg\u2081\u2080]", u"[lg10]", kCmdLog10, kKeyFunction}, {u"lg\u2081\u2080", u"lg10", kCmdLog10, kKeyFunction}},
    /*  6 */ {{u"[log\u2082]", u"[log2]", kCmdLog2, kKeyFunction}, key(u"log\u2082", kCmdLog2, kKeyFunction)},
    /*  7 */ {key(u"[logy]", kCmdLogY, kKeyFunction), key(u"ln", kCmdLn, kKeyFunction)},
    /*  8 */ {kEmpty, key(u"|x|", kCmdAbs, kKeyFunction)},
    /*  9 */ {key(u"MC", kCmdMemoryClear, kKeyClear), key(u"MC", kCmdMemoryClear, kKeyClear)},
    /* 10 */ {kEmpty, kEmpty},
    /* 11 */ {key(u"7", 1307, kKeyDigit), key(u"7", 1307, kKeyDigit)},
    /* 12 */ {key(u"8", 1308, kKeyDigit), key(u"8", 1308, kKeyDigit)},
    /* 13 */ {key(u"9", 1309, kKeyDigit), key(u"9", 1309, kKeyDigit)},
    /* 14 */ {key(u"10^x", kCmdExp10, kKeyFunction), key(u"10^x", kCmdExp10, kKeyFunction)},
    /* 15 */ {key(u"2^x", kCmdExp2, kKeyFunction), key(u"2^x", kCmdExp2, kKeyFunction)},
    /* 16 */ {kEmpty, key(u"e^x", kCmdExp, kKeyFunction)},
    /* 17 */ {kEmpty, key(u"F\u2194E", kCmdToggleExponent, kKeyFunction)},
    /* 18 */ {key(u"MR", kCmdMemoryRead, kKeyMemoryOther), key(u"MR", kCmdMemoryRead, kKeyMemoryOther)},
    /* 19 */ {key(u"MW", kCmdMemoryWrite, kKeyMemoryOther), key(u"MW", kCmdMemoryWrite, kKeyMemoryOther)},
    /* 20 */ {key(u"4", 1304, kKeyDigit), key(u"4", 1304, kKeyDigit)},
    /* 21 */ {key(u"5", 1305, kKeyDigit), key(u"5", 1305, kKeyDigit)},
    /* 22 */ {key(u"6", 1306, kKeyDigit), key(u"6", 1306, kKeyDigit)},
    /* 23 */ {key(u"[\u00B2\u221Ax]", kCmdSqrt, kKeyFunction), key(u"\u00B2\u221Ax", kCmdSqrt, kKeyFunction)},
    /* 24 */ {key(u"[\u00B3\u221Ax]", kCmdCbrt, kKeyFunction), key(u"\u00B3\u221Ax", kCmdCbrt, kKeyFunction)},
    /* 25 */ {key(u"[y\u221Ax]", kCmdRoot, kKeyFunction), key(u"y\u221Ax", kCmdRoot, kKeyFunction)},
    /* 26 */ {kEmpty, kEmpty},
    /* 27 */ {key(u"MxR", kCmdMemorySelectRead, kKeyMemoryOther), key(u"MxR", kCmdMemorySelectRead, kKeyMemoryOther)},
    /* 28 */ {key(u"MxW", kCmdMemorySelectWrite, kKeyMemoryOther), key(u"MxW", kCmdMemorySelectWrite, kKeyMemoryOther)},
    /* 29 */ {key(u"1", 1301, kKeyDigit), key(u"1", 1301, kKeyDigit)},
    /* 30 */ {key(u"2", 1302, kKeyDigit), key(u"2", 1302, kKeyDigit)},
    /* 31 */ {key(u"3", 1303, kKeyDigit), key(u"3", 1303, kKeyDigit)},
    /* 32 */ {key(u"x^2", kCmdSquare, kKeyFunction), key(u"x^2", kCmdSquare, kKeyFunction)},
    /* 33 */ {key(u"x^3", kCmdCube, kKeyFunction), key(u"x^3", kCmdCube, kKeyFunction)},
    /* 34 */ {key(u"x^y", kCmdPow, kKeyFunction), key(u"x^y", kCmdPow, kKeyFunction)},
    /* 35 */ {kEmpty, kEmpty},
    /* 36 */ {key(u"(..", kCmdOpenParen, kKeyMemoryOther), key(u"(..", kCmdOpenParen, kKeyMemoryOther)},
    /* 37 */ {key(u"..)", kCmdCloseParen, kKeyMemoryOther), key(u"..)", kCmdCloseParen, kKeyMemoryOther)},
    /* 38 */ {key(u"0", kCmdDigit0, kKeyDigit), key(u"0", kCmdDigit0, kKeyDigit)},
    /* 39 */ {key(u"=", kCmdEquals, kKeyArithmetic), key(u"=", kCmdEquals, kKeyArithmetic)},
    /* 40 */ {key(u"*", kCmdMul, kKeyArithmetic), key(u"*", kCmdMul, kKeyArithmetic)},
    /* 41 */ {key(u"gcd", kCmdGcd, kKeyFunction), key(u"sin", kCmdSin, kKeyFunction)},
    /* 42 */ {key(u"lcm", kCmdLcm, kKeyFunction), key(u"cos", kCmdCos, kKeyFunction)},
    /* 43 */ {kEmpty, key(u"tan", kCmdTan, kKeyFunction)},
    /* 44 */ {kEmpty, kEmpty},
    /* 45 */ {key(u"x!", kCmdFactorial, kKeyMemoryOther), key(u"x!", kCmdFactorial, kKeyMemoryOther)},
    /* 46 */ {kEmpty, key(u"e\u00B1", kCmdExponent, kKeyMemoryOther)},
    /* 47 */ {key(u"+", kCmdAdd, kKeyArithmetic), key(u"+", kCmdAdd, kKeyArithmetic)},
    /* 48 */ {key(u"\u2013", kCmdSub, kKeyArithmetic), key(u"\u2013", kCmdSub, kKeyArithmetic)},
    /* 49 */ {key(u"[\u00F7]", kCmdDiv, kKeyArithmetic), key(u"\u00F7", kCmdDiv, kKeyArithmetic)},
    /* 50 */ {key(u"mod", kCmdMod, kKeyFunction), key(u"asin", kCmdAsin, kKeyFunction)},
    /* 51 */ {key(u"^mod", kCmdPowMod, kKeyFunction), key(u"acos", kCmdAcos, kKeyFunction)},
    /* 52 */ {key(u"minv", kCmdModInv, kKeyFunction), key(u"atan", kCmdAtan, kKeyFunction)},
    /* 53 */ {kEmpty, kEmpty},
    /* 54 */ {kEmpty, key(u"int", kCmdInt, kKeyMemoryOther)},
    /* 55 */ {kEmpty, key(u"frac", kCmdFrac, kKeyMemoryOther)},
    /* 56 */ {key(u"A", 1310, kKeyArithmetic), key(u"\u00B1", kCmdNegate, kKeyArithmetic)},
    /* 57 */ {key(u"B", 1311, kKeyArithmetic), key(u".", kCmdPoint, kKeyArithmetic)},
    /* 58 */ {key(u"C", 1312, kKeyArithmetic), key(u"1/x", kCmdReciprocal, kKeyArithmetic)},
    /* 59 */ {kEmpty, key(u"sinh", kCmdSinh, kKeyFunction)},
    /* 60 */ {kEmpty, key(u"cosh", kCmdCosh, kKeyFunction)},
    /* 61 */ {kEmpty, key(u"tanh", kCmdTanh, kKeyFunction)},
    /* 62 */ {kEmpty, kEmpty},
    /* 63 */ {kEmpty, kEmpty},
    /* 64 */ {kEmpty, kEmpty},
    /* 65 */ {key(u"D", 1313, kKeyArithmetic), kEmpty},
    /* 66 */ {key(u"E", 1314, kKeyArithmetic), kEmpty},
    /* 67 */ {key(u"F", 1315, kKeyArithmetic), key(u"\u03C0", kCmdPi, kKeyFunction)},
    /* 68 */ {kEmpty, key(u"asinh", kCmdAsinh, kKeyFunction)},
    /* 69 */ {kEmpty, key(u"acosh", kCmdAcosh, kKeyFunction)},
    /* 70 */ {kEmpty, key(u"atanh", kCmdAtanh, kKeyFunction)},
    /* 71 */ {kEmpty, kEmpty},
};
// clang-format on

// The keys that only the rational or the complex type has.
struct TypeKey {
    int cell;
    uint32_t number_type;
    KeypadKey key;
};

const TypeKey kTypeKeys[] = {
    {26, kTypeRational, key(u"R\u2194F", kCmdToggleFraction, kKeyFunction)},
    {26, kTypeComplex, key(u"i", kCmdImaginary, kKeyComplex)},
    {35, kTypeComplex, key(u"arg x", kCmdArg, kKeyComplex)},
    {44, kTypeComplex, key(u"rt+", kCmdRootNext, kKeyComplex)},
    {53, kTypeComplex, key(u"rt-", kCmdRootPrev, kKeyComplex)},
};

}  // namespace

KeypadKey keypad_key(int cell, uint32_t number_type) {
    if (cell < 0 || cell >= kKeypadCells) return kEmpty;
    if (number_type == kTypeUnsigned) return kRows[cell].uint_key;
    for (const TypeKey& t : kTypeKeys) {
        if (t.cell == cell && t.number_type == number_type) return t.key;
    }
    return kRows[cell].other_key;
}

const char16_t* keypad_label(const KeypadKey& key, uint32_t os_version) {
    return os_version >= 0x0600 ? key.label : key.label_old;
}

int keypad_cell_of(uint32_t command, uint32_t number_type) {
    if (command == kCmdNone) return -1;
    for (int cell = 0; cell < kKeypadCells; ++cell) {
        if (keypad_key(cell, number_type).command == command) return cell;
    }
    return -1;
}

uint32_t keypad_category_colour(uint8_t category) {
    switch (category) {
        case kKeyDigit:
        case kKeyArithmetic:
            return 0x006400;
        case kKeyClear:
            return 0xFF0000;
        case kKeyFunction:
            return 0x0000FF;
        case kKeyComplex:
            return 0x800000;
        default:
            return 0x000000;
    }
}
