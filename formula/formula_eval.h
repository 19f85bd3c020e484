// The formula evaluator: reads a text such as 2^100-1, sqrt(2)/3 or (1+2i)*(3-i) and computes its value as a Value
// of the current number type. A single-pass operator-precedence evaluator over a stack of at most 50 entries: each
// token is pushed and reduced as soon as precedence allows, computing through the typed operations as it goes.
// The outcome is one formula error with a character position, kept apart from the numeric error_code.
#pragma once

#include <cstdint>

#include "formula/value.h"

enum FormulaError : uint32_t {
    kFormulaOk = 0,
    kFormulaSyntax = 3200,            // operator without left operand, operand followed by "(" or a function, bad token
    kFormulaMissingLeftParen = 3201,  // ")" without its "("
    kFormulaUnexpectedEnd = 3202,     // text ends after an operator or "(", or leaves several operands
    kFormulaNumber = 3203,            // a numeric error while a token was handled
    kFormulaTooComplex = 3204,        // more than kFormulaStackEntries entries
    kFormulaInternal = 3205,          // an impossible token combination
};

// Position reported with kFormulaInternal.
inline constexpr int32_t kFormulaInternalPos = static_cast<int32_t>(0x80000001u);

// The outcome of the last evaluation; kept until the next one (callers copy it into the message state).
struct FormulaResult {
    uint32_t formula_error;
    int32_t formula_error_pos;  // 1-based position of the token at which the error was found
};

extern FormulaResult formula_result;

enum FormulaToken : uint16_t {
    kTokEnd = 1,
    kTokBadChar = 2,      // character that starts no token
    kTokUnknownName = 3,  // name not in the keyword table
    kTokOperand = 100,    // number literal, constant or reduced sub-expression
    kTokOpenParen = 110,
    kTokCloseParen = 111,
    kTokImaginary = 112,  // the imaginary unit standing alone
    kTokSqrt = 200,
    kTokCbrt = 201,
    kTokLn = 202,
    kTokLog2 = 203,
    kTokLog10 = 204,
    kTokExp = 205,
    kTokAbs = 206,
    kTokSin = 207,
    kTokCos = 208,
    kTokTan = 209,
    kTokAsin = 210,
    kTokAcos = 211,
    kTokAtan = 212,
    kTokSinh = 224,
    kTokCosh = 225,
    kTokTanh = 226,
    kTokAsinh = 227,
    kTokAcosh = 228,
    kTokAtanh = 229,
    kTokFactorial = 230,
    kTokUnaryPlus = 500,
    kTokUnaryMinus = 501,
    kTokAdd = 600,
    kTokSub = 601,
    kTokMul = 602,
    kTokDiv = 603,
    kTokPow = 604,
    kTokPi = 700,
    kTokSemicolon = 800,
};

inline constexpr int kFormulaStackEntries = 50;

// A token, and an entry of the evaluation stack. value is set for operands only; it belongs to the entry and is
// released when the entry is dropped.
struct FormulaEntry {
    uint16_t code;
    int64_t pos;  // index of the token's first character
    int64_t len;  // number of characters of the token
    uint64_t* value;
};

// Reads one token of the zero-terminated text starting at *position and advances *position past it. A number
// literal receives a value slot holding the parsed number (a failed parse raises its numeric error). The caller
// releases the slot with formula_release_value.
void next_token(FormulaEntry* entry, const char16_t* text, int64_t* position);

// Gives a value slot taken by next_token back; null is ignored.
void formula_release_value(uint64_t* value);

// Computes text (zero-terminated UTF-16) as a Value of num_ctx.number_type into result, which must hold a value of
// the current type. On failure formula_result tells the error and result is 0 of the type. error_code is cleared
// at the start and at the end, so numeric failures show only as kFormulaNumber.
void evaluate_formula(Value* result, const char16_t* text);
