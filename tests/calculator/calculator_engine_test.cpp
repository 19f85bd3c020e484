// The calculator engine driven as its window drives it: key sequences per number type, the keypad table, registers
// and the refused routes.
#include "calculator/calculator_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

namespace {

constexpr const char* kOverflow = "Overflow in mathematical calculation!";
constexpr const char* kInternal = "Internal error!";

const auto u8 = &utf16_to_utf8;

std::vector<std::string> messages;

struct KeyCase {
    uint32_t type;
    const char* keys;
    const char* entry;
    const char* message = "";  // the last message shown
    bool inexact = false;
};

// The fixture is the window as the engine sees it.
class CalculatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        init_numeric_context();
        load_string_table(kLanguageEnglish);
        settings = Settings{};
        settings_changed = false;
        set_message_presenter([](std::u16string_view, std::u16string_view text) { messages.push_back(u8(text)); });
    }
    void TearDown() override { set_message_presenter(nullptr); }

    static CalculatorTest* of(void* owner) { return static_cast<CalculatorTest*>(owner); }
    void start(uint32_t type, uint32_t angle = kAngleDegrees) {
        CalculatorView v{};
        v.owner = this;
        v.get_entry = [](void* o, std::u16string* t) { *t = of(o)->text; };
        v.set_entry = [](void* o, std::u16string_view t) { of(o)->text.assign(t); };
        v.append_entry = [](void* o, std::u16string_view t) { of(o)->text.append(t); };
        v.delete_last_char = [](void* o) { of(o)->text.pop_back(); };
        v.set_paren_indicator = v.set_register_indicator = v.set_digit_counter = [](void*, std::u16string_view) {};
        v.show_inexact = [](void* o, bool shown) { of(o)->inexact = shown; };
        v.enable_key = [](void*, int, bool) {};
        v.label_keys = [](void*, uint32_t) {};
        text = u"";
        inexact = false;
        messages.clear();
        calc = std::make_unique<Calculator>();
        calculator_create(*calc, v, type, angle, 10);
    }

    // Space-separated keypad labels ("_" stands for a blank inside a label, as in arg_x), "base=16" and "digits=40"
    // (the window's base and precision controls); any other word is typed into the entry line as a user types it.
    void keys(const std::string& sequence) {
        for (size_t i = 0, j = 0; i < sequence.size(); i = j + 1) {
            j = std::min(sequence.find(' ', i), sequence.size());
            std::string word = sequence.substr(i, j - i);
            if (word.starts_with("base=")) set_base(*calc, std::stoi(word.substr(5)));
            if (word.starts_with("digits=")) set_digits(*calc, std::stoi(word.substr(7)));
            if (word.starts_with("base=") || word.starts_with("digits=")) continue;
            std::replace(word.begin(), word.end(), '_', ' ');
            std::u16string label;
            utf8_to_utf16(word, label);
            auto names = [&label](const KeypadKey& k) {
                return k.command != kCmdNone && (label == k.label || label == k.label_old);
            };
            int cell = 0;
            while (cell < kKeypadCells && !names(keypad_key(cell, calc->calc_type))) ++cell;
            if (cell < kKeypadCells) press_key(*calc, cell);
            if (cell == kKeypadCells && !word.empty()) type(label);
        }
    }
    void type(const std::u16string& typed) {
        const bool editing = calc->entry_state == kEditing;
        entry_key(*calc);
        text = editing ? text + typed : typed;
        entry_changed(*calc);
    }

    void run(const std::vector<KeyCase>& cases, uint32_t angle = kAngleDegrees) {
        for (const KeyCase& k : cases) {
            start(k.type, angle);
            keys(k.keys);
            EXPECT_EQ(entry(), k.entry) << k.keys;
            EXPECT_EQ(last_message(), k.message) << k.keys;
            EXPECT_EQ(inexact, k.inexact) << k.keys;
        }
    }

    std::string entry() const { return u8(text); }
    std::string last_message() const { return messages.empty() ? "" : messages.back(); }

    std::u16string text;
    bool inexact = false;
    std::unique_ptr<Calculator> calc;
};

// clang-format off
TEST_F(CalculatorTest, OperatorPrecedenceAndReplacement) {
    const uint32_t R = kTypeReal;
    run({
        {R, "2 + 3 * 4 =", "14"}, {R, "2 x^y 3 x^y 2 =", "512"}, {R, "8 – 3 – 2 =", "3"}, {R, "2 x^y 3 * 2 =", "16"},
        {R, "3 + * 4 =", "12"}, {R, "3 + sin", "0.05233595624"}, {R, "7 ÷ 2 =", "3.5"}, {R, "8 y√x 3 =", "2"},
        {R, "1 + 2 = * 3 =", "9"}, {R, "1 + 2 = 4", "4"}, {R, "2 + =", "2"}, {R, "2 * (.. 3 + 4 ..) =", "14"},
        {R, "2 * (.. 3 + 4 =", "14"}, {R, "2 + 3 sin (.. 5 =", "5"}, {R, "1/3+1 =", "1.333333333"},
        {R, "1 e± 3 =", "1000"}, {R, "5 = . 5", "0.5"}, {R, "1 2 3 Del", "12"}, {R, "1 2 3 = Del", "12"},
        {R, "1 2 3 AC", "0"}, {R, "5 \"-\" 2 * 2 =", "6"}, {R, "1 \"/\" 4 =", "0.25"},
        // A message clears the stack and the parentheses.
        {R, "2 + (.. 1 ÷ 0 = + 4 =", "4", kOverflow},
    });
}

// "[ ]" marks results the integer operations had to round down.
TEST_F(CalculatorTest, UnsignedIntegerCommands) {
    const uint32_t U = kTypeUnsigned;
    run({
        {U, "7 [÷] 2 =", "3", "", true}, {U, "8 [÷] 2 =", "4"}, {U, "7 [÷] 2 = + 1 =", "4"}, {U, "1 7 mod 5 =", "2"},
        {U, "3 x^y 4 ^mod 5 =", "1"}, {U, "2 + 3 x^y 4 ^mod 5 =", "3"}, {U, "1 7 ^mod 5 =", "2"}, {U, "4 lcm 6 =", "12"},
        {U, "1 2 gcd 1 8 =", "6"}, {U, "3 minv 7 =", "5"}, {U, "1 0 0 0 [logy] 1 0 =", "3"},
        {U, "9 9 9 [logy] 1 0 =", "2", "", true}, {U, "1 7 [²√x]", "4", "", true}, {U, "1 6 [²√x]", "4"},
        {U, "2 8 [³√x]", "3", "", true}, {U, "2 8 [y√x] 3 =", "3", "", true}, {U, "1 0 0 1 [lg₁₀]", "3", "", true},
        {U, "1 0 2 4 [log₂]", "10"}, {U, "1 0 2^x", "1024"}, {U, "3 10^x", "1000"}, {U, "9 – 4 =", "5"},
        {U, "2 5 x!", "15511210043330985984000000"}, {U, "6 * 7 =", "42"}, {U, "5 x^2", "25"}, {U, "3 x^3", "27"},
        {U, "5 – 7 =", "0", kOverflow}, {U, "1 [÷] 0 =", "0", kOverflow}, {U, "0 [log₂]", "0", kOverflow},
        {U, "4 minv 8 =", "0", kOverflow}, {U, "4 lcm 0 =", "0", kOverflow},
        // ^mod operands must stay below 2^8192.
        {U, "2 x^y 8 1 9 1 = x^y 3 ^mod 1 0 0 0 =", "392"}, {U, "2 x^y 8 1 9 2 = x^y 3 ^mod 5 =", "0", kOverflow},
    });
}

TEST_F(CalculatorTest, RealCommands) {
    const uint32_t R = kTypeReal;
    run({
        {R, "2 ²√x", "1.414213562"}, {R, "2 7 ³√x", "3"}, {R, "3 x^2", "9"}, {R, "2 x^3", "8"}, {R, "5 x!", "120"},
        {R, "1 0 2 4 log₂", "10"}, {R, "1 ln", "0"}, {R, "1 0 0 lg10", "2"}, {R, "1 0 2^x", "1024"},
        {R, "1 e^x", "2.718281828"}, {R, "3 10^x", "1000"}, {R, "4 1/x", "0.25"}, {R, "5 ±", "-5"},
        {R, "3 0 sin", "0.5"}, {R, "6 0 cos", "0.5"}, {R, "4 5 tan", "1"}, {R, "1 asin", "90"}, {R, "0 acos", "90"},
        {R, "1 atan", "45"}, {R, "1 sinh", "1.175201194"}, {R, "1 cosh", "1.543080635"}, {R, "1 tanh", "0.761594156"},
        {R, "1 asinh", "0.881373587"}, {R, "1 acosh", "0"}, {R, "0 atanh", "0"}, {R, "2 . 7 5 int", "2"},
        {R, "2 . 7 5 ± int", "-2"}, {R, "2 . 7 5 frac", "0.75"}, {R, "5 ± |x|", "5"}, {R, "2 * π =", "6.283185307"},
        {R, "1 2 3 4 5 6 F↔E", "1.23456e+5"}, {R, "1 2 3 4 5 6 F↔E F↔E", "123456"},
        {R, "1e20 F↔E", "100000000000000000000"}, {R, "1e20 F↔E F↔E", "1e+20"},
        {R, "2 asin", "0", kOverflow}, {R, "1 ÷ 0 =", "0", kOverflow}, {R, "0 ln", "0", kOverflow},
    });
}

TEST_F(CalculatorTest, RationalCommands) {
    const uint32_t Q = kTypeRational;
    run({
        {Q, "1/3 + 1/6 =", "1/2"}, {Q, "2 ÷ 4 =", "1/2"}, {Q, "1/4 1/x", "4"}, {Q, "9/4 ²√x", "3/2"},
        {Q, "2 ²√x", "1.414213562"}, {Q, "7/2 int", "3"}, {Q, "7/2 ± int", "-3"}, {Q, "7/2 frac", "1/2"},
        {Q, "2 ± 2^x", "1/4"}, {Q, "3 ± 10^x", "1/1000"}, {Q, "1/8 log₂", "-3"}, {Q, "5 x!", "120"},
        {Q, "1/3 = R↔F", "0.3333333333"}, {Q, "1/3 = R↔F R↔F", "1/3"}, {Q, "1/3 = R↔F F↔E", "3.333333333e-1"},
        {Q, "1/2 sin", "0.008726535498"},
    });
}

// rt+ and rt- browse the roots of the last root key.
TEST_F(CalculatorTest, ComplexCommands) {
    const uint32_t C = kTypeComplex;
    run({
        {C, "3 \"+\" 4 i =", "3+4i"}, {C, "3+4i |x|", "5"}, {C, "i arg_x", "90"}, {C, "1+i arg_x", "45"},
        {C, "i x^2", "-1"}, {C, "1+i 1/x", "0.5-0.5i"}, {C, "2.5+3.5i int", "2+3i"}, {C, "2.5-3.5i frac", "0.5-0.5i"},
        {C, "1 0 2^x", "1024"}, {C, "i 2^x", "0", kOverflow}, {C, "3+4i sin", "0", kOverflow},
        {C, "8 ± ³√x", "1+1.732050808i"}, {C, "8 ± ³√x rt+", "-2"}, {C, "8 ± ³√x rt+ rt+", "1-1.732050808i"},
        {C, "8 ± ³√x rt+ rt+ rt-", "-2"}, {C, "1 6 y√x 4 = rt+", "2i"}, {C, "1 6 y√x 4 = rt+ rt+ rt+ rt+", "-2i"},
        {C, "1 6 y√x 2 ± =", "0.25"}, {C, "1 6 y√x 0.5 =", "256"},
    });
}

// Whole quarter turns are exact; near misses and large angles are computed.
TEST_F(CalculatorTest, QuarterTurns) {
    const uint32_t R = kTypeReal, Q = kTypeRational;
    run({
        {R, "1 8 0 sin", "0"}, {R, "9 0 cos", "0"}, {R, "9 0 tan", "0", kOverflow}, {R, "2 7 0 cos", "0"},
        {R, "3 6 0 tan", "0"}, {R, "1 8 0 cos", "-1"}, {R, "9 0 ± sin", "-1"}, {R, "2 0 0 0 0 0 0 sin", "-0.3420201433"},
        {R, "9 0 . 0 0 0 0 1 cos", "-1.745329252e-7"}, {Q, "1 8 0 sin", "0"}, {Q, "4 5 0 tan", "0", kOverflow},
        {Q, "5 4 0 0 0 0 cos", "1.0"}, {kTypeComplex, "2 7 0 cos", "0"},
    });
    run({{R, "2 0 0 sin", "0"}, {R, "1 0 0 cos", "0"}, {R, "3 0 0 tan", "0", kOverflow}, {R, "5 0 sin", "0.7071067812"},
         {R, "1 asin", "100"}, {Q, "4 0 0 tan", "0"}}, kAngleGon);
    run({{R, "π sin", "0"}, {R, "π cos", "-1"}, {R, "π ÷ 2 = cos", "0"}, {R, "π ÷ 2 = tan", "0", kOverflow},
         {R, "1 atan", "0.7853981634"}, {R, "3 sin", "0.1411200081"}}, kAngleRadians);
    // Agreement only to the working precision less about two digits counts as a quarter turn.
    start(R);
    keys("90.000000000001 cos");
    EXPECT_EQ(entry().substr(0, 6), "-1.745") << entry();
    EXPECT_EQ(entry().substr(entry().size() - 4), "e-14") << entry();
}

// An operand that cannot be read stays in the entry line with its pending parentheses, so the corrected entry
// closes the parenthesis it was opened in.
TEST_F(CalculatorTest, UnreadableOperandsStayForCorrection) {
    run({
        {kTypeReal, "2+ =", "2+", "Invalid input: Unexpected end of formula!"},
        {kTypeReal, "1 + 2x * Del * 3 =", "7", "Invalid input: Syntax error at character position 2!"},
        {kTypeUnsigned, "12G =", "12G", "Invalid input!"},
        {kTypeRational, "1 + (.. 2+ + Del + 3 ..) * 2 =", "11", "Invalid input: Unexpected end of formula!"},
    });
}

// clang-format on

// Held values are laid out again at the new precision, the radicand of root browsing included (it once kept the
// old precision).
TEST_F(CalculatorTest, PrecisionChangesReLayHeldValues) {
    const uint32_t R = kTypeReal, Q = kTypeRational, C = kTypeComplex;
    run({
        {R, "digits=40 1 ÷ 3 = digits=10 =", "0.3333333333"},
        {R, "2 ÷ 3 = digits=40 =", "0.6666666666666666667"},
        {R, "digits=40 1 + 1 ÷ 3 ÷ 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 digits=10 =", "1"},
        {Q, "2/3 = digits=40 * 3 =", "2"},
        {Q, "digits=40 1 0 x^y 3 0 ± + 1/3 = digits=10 =", "0.3333333333"},
        {C, "digits=40 i + 1 ÷ 3 = digits=10 =", "0.3333333333+i"},
        {C, "1 ÷ 3 \"+\" i = digits=40 =", "0.3-0.1i"},
        {C, "4 ± ²√x digits=40 rt+", "-2i"},
    });
}

// Registers keep typed text behind "@" for editing, and values in their type.
TEST_F(CalculatorTest, RegistersKeepTypedTextAndValues) {
    run({{kTypeReal, "4 2 = MxW 1 9 AC MxR 1 9 + 1 =", "43"}, {kTypeReal, "1/3 MW AC MR", "1/3"}});
    EXPECT_EQ(settings.memory[19], u"42");
    EXPECT_EQ(settings.memory[0], u"@1/3");
    run({{kTypeRational, "1/3 = MW AC MR * 3 =", "1"}});
    EXPECT_EQ(settings.memory[0], u"1/3");
}

// Every command of a type sits on exactly one key; empty keys have no label.
TEST(KeypadTable, EveryCommandSitsOnOneKey) {
    for (uint32_t type : {kTypeReal, kTypeRational, kTypeComplex, kTypeUnsigned}) {
        int keys = 0;
        for (int cell = 0; cell < kKeypadCells; ++cell) {
            const KeypadKey key = keypad_key(cell, type);
            EXPECT_EQ(key.label == nullptr, key.command == kCmdNone) << cell;
            if (key.command == kCmdNone) continue;
            ++keys;
            EXPECT_EQ(keypad_cell_of(key.command, type), cell) << cell << " type " << type;
        }
        EXPECT_EQ(keys, type == kTypeUnsigned ? 47 : type == kTypeReal ? 61 : type == kTypeRational ? 62 : 65) << type;
    }
}

TEST_F(CalculatorTest, ImpossibleRoutesAFullStackAndATooLongEntryAreRefused) {
    start(kTypeReal);
    for (int cell : {kKeypadCells, 10, 35}) {  // beyond the pad, an empty key, arg x outside the complex type
        messages.clear();
        press_key(*calc, cell);
        EXPECT_EQ(last_message(), kInternal) << cell;
    }
    start(kTypeReal);
    for (int i = 0; i < kCalcStackEntries; ++i) keys("1 x^y");
    EXPECT_TRUE(messages.empty());
    keys("1 x^y");
    EXPECT_EQ(last_message(), kInternal);
    EXPECT_EQ(calc->top, kCalcStackEntries - 1);
    start(kTypeReal);
    type(std::u16string(kCalcMaxEntryChars + 1, u'1'));
    keys("=");
    EXPECT_EQ(last_message(), "The text entered is too long!");
    EXPECT_EQ(text.size(), static_cast<size_t>(kCalcMaxEntryChars + 1));
    EXPECT_EQ(calc->entry_state, kEditing);
    start(kTypeUnsigned);  // the digit counter reads every edit
    type(std::u16string(kCalcMaxEntryChars + 1, u'1'));
    EXPECT_EQ(last_message(), "The text entered is too long!");
}

}  // namespace
