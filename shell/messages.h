// Error messages: a module reports a failure as a message code with up to two text parameters; show_message turns
// it into a sentence of the string table, with the formula evaluator's detail where the code asks for it, hands it
// to the presenter and clears every error state for the next user action.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shell/string_table.h"

enum MessageCode : uint32_t {
    kMsgNone = 0,
    kMsgInvalidInput = 1000,  // the input text
    kMsgOverflow = 1001,
    kMsgDivisionByZero = 1002,
    kMsgTextTooLong = 1003,
    kMsgFileNotFound = 1005,            // file name
    kMsgFileAccess = 1006,              // file name
    kMsgInvalidFormula = 1200,          // + formula detail
    kMsgLeadingCoefficientZero = 2000,  // coefficient name
    kMsgNotConverged = 2001,
    kMsgCoefficientFormula = 2002,  // coefficient name, + formula detail
    kMsgCoefficientNotReal = 2003,  // coefficient name
    kMsgExactOverflow = 2004,
    kMsgCoefficientNotRational = 2005,  // coefficient name
    kMsgCoefficientTooLong = 2006,      // coefficient name
    kMsgPrimeOverflow = 3000,
    kMsgFactorOverflow = 3100,
    kMsgTooManyFactors = 3101,     // the number
    kMsgPolynomialFormula = 3300,  // coefficient, polynomial, + formula detail
    kMsgGridCellTooLong = 3400,    // equation number, column name
    kMsgGridCellFormula = 3401,    // equation number, column name, + formula detail
    kMsgGridVariableCount = 3402,  // the maximum
    kMsgInternal = 9000,
    kMsgNotImplemented = 9001,
    kMsgStringOverflow = 9002,
};

// Characters of a message parameter and of a composed message.
inline constexpr size_t kMessageParamChars = 260;
inline constexpr size_t kMessageChars = 1000;

// The pending message of the current user action. formula_error and formula_error_pos hold the outcome of the
// formula evaluation that a detail-taking message describes (0 when there is none).
struct MessageState {
    uint32_t message_code;
    std::u16string message_param1;
    std::u16string message_param2;
    uint32_t formula_error;
    int32_t formula_error_pos;
};

extern MessageState message_state;

// Stores the message unless one is pending (the first message of an action wins). A parameter longer than 260
// characters is cut to its first 259 followed by "…". Callers without a parameter pass "???".
void set_message(uint32_t code, std::u16string_view param1 = u"???", std::u16string_view param2 = u"???");

// True for the codes whose sentence ends in a colon that the formula error's sentence completes.
bool message_takes_detail(uint32_t code);

// The sentence of the message in the table's language, at most 1000 characters. For a detail-taking code the
// formula error's sentence follows after one blank, or without a formula error the final colon becomes "!".
std::u16string compose_message(const MessageState& state, const StringTable& table);

// Shows a composed message with its title: a message box in the windows, standard error in the command line.
using MessagePresenter = void (*)(std::u16string_view title, std::u16string_view text);

// Writes "title: text" and a line end to standard error in UTF-8.
void present_on_stderr(std::u16string_view title, std::u16string_view text);

// Installs the presenter used by show_message (null restores present_on_stderr) and returns the previous one.
MessagePresenter set_message_presenter(MessagePresenter presenter);

// Clears the message state and the numeric context's error code.
void clear_error_state();

// Does nothing without a pending message; otherwise presents it under the title of slot 99 and clears every error
// state, so the next computation starts clean.
void show_message();
