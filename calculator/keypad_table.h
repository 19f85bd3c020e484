// The calculator's keypad: 72 keys in 8 rows of 9 columns (cell = 9 * row + column). Each cell has, per number
// type, a label, the command code the engine routes on, and a category that decides the key's text colour. The
// engine dispatches on this table; the window labels and colours its keys from it.
#pragma once

#include <cstdint>

inline constexpr int kKeypadRows = 8;
inline constexpr int kKeypadColumns = 9;
inline constexpr int kKeypadCells = kKeypadRows * kKeypadColumns;

// Command codes. The ranges select the engine's route: 1000..1099 binary operators, 1100..1299 unary functions and
// display toggles, 1300..1399 entry keys, 1400..1409 evaluation, parentheses and memory.
enum CalcCommand : uint32_t {
    kCmdNone = 0,
    // Binary operators
    kCmdAdd = 1000,
    kCmdSub = 1001,
    kCmdMul = 1002,
    kCmdDiv = 1003,
    kCmdPow = 1004,
    kCmdRoot = 1005,
    kCmdGcd = 1006,
    kCmdLcm = 1007,
    kCmdMod = 1008,
    kCmdPowMod = 1009,
    kCmdModInv = 1010,
    kCmdLogY = 1011,
    // Unary functions and display toggles
    kCmdSqrt = 1100,
    kCmdCbrt = 1101,
    kCmdSquare = 1102,
    kCmdCube = 1103,
    kCmdLog2 = 1104,
    kCmdLn = 1105,
    kCmdLog10 = 1106,
    kCmdExp2 = 1107,
    kCmdExp = 1108,
    kCmdExp10 = 1109,
    kCmdSin = 1110,
    kCmdCos = 1111,
    kCmdTan = 1112,
    kCmdAsin = 1113,
    kCmdAcos = 1114,
    kCmdAtan = 1115,
    kCmdSinh = 1116,
    kCmdCosh = 1117,
    kCmdTanh = 1118,
    kCmdAsinh = 1119,
    kCmdAcosh = 1120,
    kCmdAtanh = 1121,
    kCmdFactorial = 1122,
    kCmdReciprocal = 1123,
    kCmdNegate = 1124,
    kCmdInt = 1125,
    kCmdFrac = 1126,
    kCmdAbs = 1127,
    kCmdArg = 1128,
    kCmdRootNext = 1129,
    kCmdRootPrev = 1130,
    kCmdToggleFraction = 1131,
    kCmdToggleExponent = 1132,
    // Entry keys
    kCmdDigit0 = 1300,  // 1300..1309: "0".."9"
    kCmdDigitA = 1310,  // 1310..1315: "A".."F"
    kCmdCharPlus = 1316,
    kCmdCharMinus = 1317,
    kCmdPoint = 1318,
    kCmdExponent = 1319,
    kCmdPi = 1320,
    kCmdCharSlash = 1321,
    kCmdMemoryRead = 1322,
    kCmdImaginary = 1323,
    kCmdDelete = 1324,
    kCmdClearAll = 1325,
    // Evaluation, parentheses, memory
    kCmdEquals = 1400,
    kCmdOpenParen = 1401,
    kCmdCloseParen = 1402,
    kCmdMemoryWrite = 1406,
    kCmdMemorySelectWrite = 1407,
    kCmdMemorySelectRead = 1408,
    kCmdMemoryClear = 1409,
};

// Key kinds; the window draws each kind in its own colour.
enum KeyCategory : uint8_t {
    kKeyEmpty = 0,
    kKeyDigit = 1,        // dark green
    kKeyArithmetic = 2,   // dark green: "=", "+", "–", "*", "÷", "±", ".", "1/x", hexadecimal digits
    kKeyClear = 3,        // red: "AC", "Del", "MC"
    kKeyFunction = 4,     // blue
    kKeyMemoryOther = 5,  // black: memory keys, parentheses, quoted characters, "x!", "e±", "int", "frac"
    kKeyComplex = 6,      // dark red: "i", "arg x", "rt+", "rt-"
};

struct KeypadKey {
    const char16_t* label;      // null for an empty key
    const char16_t* label_old;  // label on systems older than version 6.0 (the same text for most keys)
    uint32_t command;           // kCmdNone for an empty key
    uint8_t category;
};

// The key of `cell` (0..71) for the number type (NumberType codes); an empty key for a cell out of range.
KeypadKey keypad_key(int cell, uint32_t number_type);

// The label to show: label_old when os_version is below 0x0600, else label.
const char16_t* keypad_label(const KeypadKey& key, uint32_t os_version);

// The cell of the first key with `command` for the type, -1 when the type has no such key.
int keypad_cell_of(uint32_t command, uint32_t number_type);

// The text colour of a category as 0xRRGGBB.
uint32_t keypad_category_colour(uint8_t category);
