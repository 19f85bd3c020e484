#include "calculator/calculator_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

namespace {

// The window as the engine sees it.
struct FakeWindow {
    std::u16string entry;
    std::u16string paren;
    std::u16string reg;
    std::u16string counter;
    bool inexact = false;
    std::map<int, bool> enabled;
    uint32_t labelled_type = 0;
};

FakeWindow* window_of(void* owner) {
    return static_cast<FakeWindow*>(owner);
}

CalculatorView view_of(FakeWindow* w) {
    CalculatorView v{};
    v.owner = w;
    v.get_entry = [](void* o, std::u16string* t) { *t = window_of(o)->entry; };
    v.set_entry = [](void* o, std::u16string_view t) { window_of(o)->entry.assign(t); };
    v.append_entry = [](void* o, std::u16string_view t) { window_of(o)->entry.append(t); };
    v.delete_last_char = [](void* o) { window_of(o)->entry.pop_back(); };
    v.set_paren_indicator = [](void* o, std::u16string_view t) { window_of(o)->paren.assign(t); };
    v.set_register_indicator = [](void* o, std::u16string_view t) { window_of(o)->reg.assign(t); };
    v.set_digit_counter = [](void* o, std::u16string_view t) { window_of(o)->counter.assign(t); };
    v.show_inexact = [](void* o, bool shown) { window_of(o)->inexact = shown; };
    v.enable_key = [](void* o, int cell, bool on) { window_of(o)->enabled[cell] = on; };
    v.label_keys = [](void* o, uint32_t type) { window_of(o)->labelled_type = type; };
    return v;
}

std::vector<std::string> messages;

void record_message(std::u16string_view, std::u16string_view text) {
    messages.push_back(utf16_to_utf8(text));
}

std::u16string u16(const std::string& s) {
    std::u16string out;
    utf8_to_utf16(s, out);
    return out;
}

constexpr const char* kOverflow = "Overflow in mathematical calculation!";
constexpr const char* kTooLong = "The text entered is too long!";
constexpr const char* kInternal = "Internal error!";

class CalculatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        init_numeric_context();
        load_string_table(kLanguageEnglish);
        settings = Settings{};
        settings_changed = false;
        messages.clear();
        set_message_presenter(record_message);
    }
    void TearDown() override { set_message_presenter(nullptr); }

    void start(uint32_t type, uint32_t angle = kAngleDegrees, int32_t digits = 10) {
        window = FakeWindow{};
        calc = std::make_unique<Calculator>();
        calculator_create(*calc, view_of(&window), type, angle, digits);
    }

    int cell_of(const std::u16string& label) const {
        for (int cell = 0; cell < kKeypadCells; ++cell) {
            const KeypadKey k = keypad_key(cell, calc->calc_type);
            if (k.command != kCmdNone && (label == k.label || label == k.label_old)) return cell;
        }
        return -1;
    }

    // Space-separated keypad labels ("_" stands for a blank inside a label, as in arg_x); any other word is typed
    // into the entry line the way a user types it.
    void keys(const std::string& sequence) {
        size_t i = 0;
        while (i < sequence.size()) {
            size_t j = sequence.find(' ', i);
            if (j == std::string::npos) j = sequence.size();
            std::string word = sequence.substr(i, j - i);
            i = j + 1;
            if (word.empty()) continue;
            for (char& ch : word) {
                if (ch == '_') ch = ' ';
            }
            const std::u16string label = u16(word);
            const int cell = cell_of(label);
            if (cell >= 0) {
                press_key(*calc, cell);
            } else {
                type(label);
            }
        }
    }

    void type(const std::u16string& text) {
        const bool editing = calc->entry_state == kEditing;
        entry_key(*calc);
        if (editing) {
            window.entry += text;
        } else {
            window.entry = text;
        }
        entry_changed(*calc);
    }

    std::string entry() const { return utf16_to_utf8(window.entry); }
    std::string last_message() const { return messages.empty() ? "" : messages.back(); }
    bool enabled(uint32_t command) const {
        auto it = window.enabled.find(keypad_cell_of(command, calc->calc_type));
        return it != window.enabled.end() && it->second;
    }

    FakeWindow window;
    std::unique_ptr<Calculator> calc;
};

struct KeyCase {
    uint32_t type;
    const char* keys;
    const char* entry;
    const char* message;  // "" for none
    bool inexact;
};

class KeyTable : public CalculatorTest {
  public:
    void run(const std::vector<KeyCase>& cases) {
        for (const KeyCase& k : cases) {
            messages.clear();
            start(k.type, angle);
            keys(k.keys);
            EXPECT_EQ(entry(), k.entry) << k.keys;
            EXPECT_EQ(last_message(), k.message) << k.keys;
            EXPECT_EQ(window.inexact, k.inexact) << k.keys;
        }
    }
    uint32_t angle = kAngleDegrees;
};

TEST_F(KeyTable, OperatorPrecedenceAndReplacement) {
    run({
        {kTypeReal, "2 + 3 * 4 =", "14", "", false},
        {kTypeReal, "2 x^y 3 x^y 2 =", "512", "", false},
        {kTypeReal, "8 – 3 – 2 =", "3", "", false},
        {kTypeReal, "2 x^y 3 * 2 =", "16", "", false},
        {kTypeReal, "1 0 – 2 x^y 3 =", "2", "", false},
        {kTypeReal, "3 + * 4 =", "12", "", false},
        {kTypeReal, "3 + sin", "0.05233595624", "", false},
        {kTypeReal, "7 ÷ 2 =", "3.5", "", false},
        {kTypeReal, "8 y√x 3 =", "2", "", false},
        {kTypeReal, "1 + 2 = * 3 =", "9", "", false},
        {kTypeReal, "1 + 2 = 4", "4", "", false},
        {kTypeReal, "2 + =", "2", "", false},
        {kTypeReal, "2 * (.. 3 + 4 ..) =", "14", "", false},
        {kTypeReal, "(.. 2 + 3 ..) * 4 =", "20", "", false},
        {kTypeReal, "2 * (.. 3 + 4 =", "14", "", false},
        {kTypeReal, "2 + 3 sin (.. 5 =", "5", "", false},
        {kTypeReal, "1/3+1 =", "1.333333333", "", false},
        {kTypeReal, "1 e± 3 =", "1000", "", false},
        {kTypeReal, "5 = . 5", "0.5", "", false},
        {kTypeReal, "1 2 3 Del", "12", "", false},
        {kTypeReal, "1 2 3 = Del", "12", "", false},
        {kTypeReal, "1 2 3 AC", "0", "", false},
        {kTypeReal, "2 \"+\" 3 =", "5", "", false},
        {kTypeReal, "5 \"-\" 2 * 2 =", "6", "", false},
        {kTypeReal, "1 \"/\" 4 =", "0.25", "", false},
    });
}

TEST_F(KeyTable, UnsignedIntegerCommands) {
    run({
        {kTypeUnsigned, "7 [÷] 2 =", "3", "", true},
        {kTypeUnsigned, "8 [÷] 2 =", "4", "", false},
        {kTypeUnsigned, "3 x^y 4 ^mod 5 =", "1", "", false},
        {kTypeUnsigned, "2 + 3 x^y 4 ^mod 5 =", "3", "", false},
        {kTypeUnsigned, "1 7 ^mod 5 =", "2", "", false},
        {kTypeUnsigned, "1 7 mod 5 =", "2", "", false},
        {kTypeUnsigned, "4 lcm 6 =", "12", "", false},
        {kTypeUnsigned, "4 lcm 0 =", "0", kOverflow, false},
        {kTypeUnsigned, "1 2 gcd 1 8 =", "6", "", false},
        {kTypeUnsigned, "3 minv 7 =", "5", "", false},
        {kTypeUnsigned, "1 0 0 0 [logy] 1 0 =", "3", "", false},
        {kTypeUnsigned, "9 9 9 [logy] 1 0 =", "2", "", true},
        {kTypeUnsigned, "2 + 1 0 0 [logy] 1 0 =", "4", "", false},
        {kTypeUnsigned, "1 7 [²√x]", "4", "", true},
        {kTypeUnsigned, "1 6 [²√x]", "4", "", false},
        {kTypeUnsigned, "2 8 [³√x]", "3", "", true},
        {kTypeUnsigned, "2 7 [y√x] 3 =", "3", "", false},
        {kTypeUnsigned, "2 8 [y√x] 3 =", "3", "", true},
        {kTypeUnsigned, "1 0 0 1 [lg₁₀]", "3", "", true},
        {kTypeUnsigned, "1 0 2 4 [log₂]", "10", "", false},
        {kTypeUnsigned, "1 0 2^x", "1024", "", false},
        {kTypeUnsigned, "3 10^x", "1000", "", false},
        {kTypeUnsigned, "2 5 x!", "15511210043330985984000000", "", false},
        {kTypeUnsigned, "6 * 7 =", "42", "", false},
        {kTypeUnsigned, "9 – 4 =", "5", "", false},
        {kTypeUnsigned, "5 x^2", "25", "", false},
        {kTypeUnsigned, "3 x^3", "27", "", false},
        {kTypeUnsigned, "7 [÷] 2 = + 1 =", "4", "", false},
        {kTypeUnsigned, "5 – 7 =", "0", kOverflow, false},
        {kTypeUnsigned, "1 [÷] 0 =", "0", kOverflow, false},
        {kTypeUnsigned, "0 [log₂]", "0", kOverflow, false},
        {kTypeUnsigned, "4 minv 8 =", "0", kOverflow, false},
        // ^mod operands must stay below 2^8192.
        {kTypeUnsigned, "2 x^y 8 1 9 1 = x^y 3 ^mod 1 0 0 0 =", "392", "", false},
        {kTypeUnsigned, "2 x^y 8 1 9 2 = x^y 3 ^mod 5 =", "0", kOverflow, false},
    });
}

TEST_F(KeyTable, RealCommands) {
    run({
        {kTypeReal, "2 ²√x", "1.414213562", "", false},
        {kTypeReal, "2 7 ³√x", "3", "", false},
        {kTypeReal, "3 x^2", "9", "", false},
        {kTypeReal, "2 x^3", "8", "", false},
        {kTypeReal, "1 0 2 4 log₂", "10", "", false},
        {kTypeReal, "1 ln", "0", "", false},
        {kTypeReal, "1 0 0 lg10", "2", "", false},
        {kTypeReal, "1 0 2^x", "1024", "", false},
        {kTypeReal, "1 e^x", "2.718281828", "", false},
        {kTypeReal, "3 10^x", "1000", "", false},
        {kTypeReal, "3 0 sin", "0.5", "", false},
        {kTypeReal, "6 0 cos", "0.5", "", false},
        {kTypeReal, "4 5 tan", "1", "", false},
        {kTypeReal, "1 asin", "90", "", false},
        {kTypeReal, "0 acos", "90", "", false},
        {kTypeReal, "1 atan", "45", "", false},
        {kTypeReal, "1 sinh", "1.175201194", "", false},
        {kTypeReal, "1 cosh", "1.543080635", "", false},
        {kTypeReal, "1 tanh", "0.761594156", "", false},
        {kTypeReal, "1 asinh", "0.881373587", "", false},
        {kTypeReal, "1 acosh", "0", "", false},
        {kTypeReal, "0 atanh", "0", "", false},
        {kTypeReal, "5 x!", "120", "", false},
        {kTypeReal, "4 1/x", "0.25", "", false},
        {kTypeReal, "5 ±", "-5", "", false},
        {kTypeReal, "2 . 7 5 int", "2", "", false},
        {kTypeReal, "2 . 7 5 ± int", "-2", "", false},
        {kTypeReal, "2 . 7 5 frac", "0.75", "", false},
        {kTypeReal, "5 ± |x|", "5", "", false},
        {kTypeReal, "π", "3.141592654", "", false},
        {kTypeReal, "2 * π =", "6.283185307", "", false},
        {kTypeReal, "1 2 3 4 5 6 F↔E", "1.23456e+5", "", false},
        {kTypeReal, "1 2 3 4 5 6 F↔E F↔E", "123456", "", false},
        {kTypeReal, "1e20 F↔E", "100000000000000000000", "", false},
        {kTypeReal, "1e20 F↔E F↔E", "1e+20", "", false},
        {kTypeReal, "2 asin", "0", kOverflow, false},
        {kTypeReal, "1 ÷ 0 =", "0", kOverflow, false},
        {kTypeReal, "0 ln", "0", kOverflow, false},
    });
}

TEST_F(KeyTable, RationalCommands) {
    run({
        {kTypeRational, "1/3 =", "1/3", "", false},
        {kTypeRational, "1/3 + 1/6 =", "1/2", "", false},
        {kTypeRational, "2 ÷ 4 =", "1/2", "", false},
        {kTypeRational, "1/4 1/x", "4", "", false},
        {kTypeRational, "9/4 ²√x", "3/2", "", false},
        {kTypeRational, "2 ²√x", "1.414213562", "", false},
        {kTypeRational, "7/2 int", "3", "", false},
        {kTypeRational, "7/2 ± int", "-3", "", false},
        {kTypeRational, "7/2 frac", "1/2", "", false},
        {kTypeRational, "2 ± 2^x", "1/4", "", false},
        {kTypeRational, "3 ± 10^x", "1/1000", "", false},
        {kTypeRational, "1/8 log₂", "-3", "", false},
        {kTypeRational, "5 x!", "120", "", false},
        {kTypeRational, "1/3 = R↔F", "0.3333333333", "", false},
        {kTypeRational, "1/3 = R↔F R↔F", "1/3", "", false},
        {kTypeRational, "1/3 = R↔F F↔E", "3.333333333e-1", "", false},
        {kTypeRational, "1/2 sin", "0.008726535498", "", false},
    });
}

TEST_F(KeyTable, ComplexCommands) {
    run({
        {kTypeComplex, "3 \"+\" 4 i =", "3+4i", "", false},
        {kTypeComplex, "3+4i |x|", "5", "", false},
        {kTypeComplex, "i arg_x", "90", "", false},
        {kTypeComplex, "1+i arg_x", "45", "", false},
        {kTypeComplex, "i x^2", "-1", "", false},
        {kTypeComplex, "1+i 1/x", "0.5-0.5i", "", false},
        {kTypeComplex, "2.5+3.5i int", "2+3i", "", false},
        {kTypeComplex, "2.5-3.5i frac", "0.5-0.5i", "", false},
        {kTypeComplex, "1 0 2^x", "1024", "", false},
        {kTypeComplex, "i 2^x", "0", kOverflow, false},
        {kTypeComplex, "3+4i sin", "0", kOverflow, false},
        {kTypeComplex, "8 ± ³√x", "1+1.732050808i", "", false},
        {kTypeComplex, "8 ± ³√x rt+", "-2", "", false},
        {kTypeComplex, "8 ± ³√x rt+ rt+", "1-1.732050808i", "", false},
        {kTypeComplex, "8 ± ³√x rt+ rt+ rt-", "-2", "", false},
        {kTypeComplex, "1 6 y√x 4 =", "2", "", false},
        {kTypeComplex, "1 6 y√x 4 = rt+", "2i", "", false},
        {kTypeComplex, "1 6 y√x 4 = rt+ rt+ rt+ rt+", "-2i", "", false},
        {kTypeComplex, "1 6 y√x 2 ± =", "0.25", "", false},
        {kTypeComplex, "1 6 y√x 0.5 =", "256", "", false},
    });
}

// Whole quarter turns are exact; near misses and large angles are computed.
TEST_F(KeyTable, QuarterTurnsInDegrees) {
    run({
        {kTypeReal, "1 8 0 sin", "0", "", false},
        {kTypeReal, "9 0 cos", "0", "", false},
        {kTypeReal, "9 0 tan", "0", kOverflow, false},
        {kTypeReal, "2 7 0 cos", "0", "", false},
        {kTypeReal, "3 6 0 tan", "0", "", false},
        {kTypeReal, "1 8 0 cos", "-1", "", false},
        {kTypeReal, "9 0 ± sin", "-1", "", false},
        {kTypeReal, "2 0 0 0 0 0 0 sin", "-0.3420201433", "", false},
        {kTypeReal, "9 0 . 0 0 0 0 1 cos", "-1.745329252e-7", "", false},
        {kTypeRational, "1 8 0 sin", "0", "", false},
        {kTypeRational, "4 5 0 tan", "0", kOverflow, false},
        {kTypeRational, "5 4 0 0 0 0 cos", "1.0", "", false},
        {kTypeComplex, "2 7 0 cos", "0", "", false},
    });
}

TEST_F(KeyTable, QuarterTurnsInGon) {
    angle = kAngleGon;
    run({
        {kTypeReal, "2 0 0 sin", "0", "", false},
        {kTypeReal, "1 0 0 cos", "0", "", false},
        {kTypeReal, "3 0 0 tan", "0", kOverflow, false},
        {kTypeReal, "5 0 sin", "0.7071067812", "", false},
        {kTypeReal, "1 asin", "100", "", false},
        {kTypeRational, "4 0 0 tan", "0", "", false},
    });
}

TEST_F(KeyTable, QuarterTurnsInRadians) {
    angle = kAngleRadians;
    run({
        {kTypeReal, "π sin", "0", "", false},
        {kTypeReal, "π cos", "-1", "", false},
        {kTypeReal, "π ÷ 2 = cos", "0", "", false},
        {kTypeReal, "π ÷ 2 = tan", "0", kOverflow, false},
        {kTypeReal, "1 atan", "0.7853981634", "", false},
        {kTypeReal, "3 sin", "0.1411200081", "", false},
    });
}

TEST_F(KeyTable, UnreadableOperandsStayForCorrection) {
    run({
        {kTypeReal, "2+ =", "2+", "Invalid input: Unexpected end of formula!", false},
        {kTypeReal, "1 + 2x *", "2x", "Invalid input: Syntax error at character position 2!", false},
        {kTypeReal, "1 + 2x * Del * 3 =", "7", "Invalid input: Syntax error at character position 2!", false},
        {kTypeUnsigned, "12G =", "12G", "Invalid input!", false},
        {kTypeRational, "1 + (.. 2+ + Del + 3 ..) * 2 =", "11", "Invalid input: Unexpected end of formula!", false},
    });
}

struct KeypadCase {
    int cell;
    uint32_t type;
    const char* label;      // "" for an empty key
    const char* label_old;  // the label below version 6.0
    uint32_t command;
    uint8_t category;
};

TEST(KeypadTable, KeysPerNumberType) {
    const KeypadCase cases[] = {
        {0, kTypeReal, "AC", "AC", kCmdClearAll, kKeyClear},
        {2, kTypeRational, "\"+\"", "\"+\"", kCmdCharPlus, kKeyMemoryOther},
        {2, kTypeUnsigned, "", "", kCmdNone, kKeyEmpty},
        {5, kTypeReal, "lg\u2081\u2080", "lg10", kCmdLog10, kKeyFunction},
        {5, kTypeUnsigned, "[lg\u2081\u2080]", "[lg10]", kCmdLog10, kKeyFunction},
        {6, kTypeComplex, "log\u2082", "log\u2082", kCmdLog2, kKeyFunction},
        {6, kTypeUnsigned, "[log\u2082]", "[log2]", kCmdLog2, kKeyFunction},
        {7, kTypeUnsigned, "[logy]", "[logy]", kCmdLogY, kKeyFunction},
        {10, kTypeReal, "", "", kCmdNone, kKeyEmpty},
        {26, kTypeReal, "", "", kCmdNone, kKeyEmpty},
        {26, kTypeRational, "R\u2194F", "R\u2194F", kCmdToggleFraction, kKeyFunction},
        {26, kTypeComplex, "i", "i", kCmdImaginary, kKeyComplex},
        {35, kTypeComplex, "arg x", "arg x", kCmdArg, kKeyComplex},
        {35, kTypeRational, "", "", kCmdNone, kKeyEmpty},
        {41, kTypeUnsigned, "gcd", "gcd", kCmdGcd, kKeyFunction},
        {41, kTypeReal, "sin", "sin", kCmdSin, kKeyFunction},
        {44, kTypeComplex, "rt+", "rt+", kCmdRootNext, kKeyComplex},
        {48, kTypeReal, "\u2013", "\u2013", kCmdSub, kKeyArithmetic},
        {49, kTypeUnsigned, "[\u00F7]", "[\u00F7]", kCmdDiv, kKeyArithmetic},
        {53, kTypeComplex, "rt-", "rt-", kCmdRootPrev, kKeyComplex},
        {56, kTypeUnsigned, "A", "A", kCmdDigitA, kKeyArithmetic},
        {56, kTypeReal, "\u00B1", "\u00B1", kCmdNegate, kKeyArithmetic},
        {62, kTypeReal, "", "", kCmdNone, kKeyEmpty},
        {65, kTypeUnsigned, "D", "D", kCmdDigitA + 3, kKeyArithmetic},
        {65, kTypeComplex, "", "", kCmdNone, kKeyEmpty},
        {67, kTypeReal, "\u03C0", "\u03C0", kCmdPi, kKeyFunction},
        {71, kTypeUnsigned, "", "", kCmdNone, kKeyEmpty},
        {72, kTypeReal, "", "", kCmdNone, kKeyEmpty},
    };
    for (const KeypadCase& k : cases) {
        const KeypadKey key = keypad_key(k.cell, k.type);
        EXPECT_EQ(key.command, k.command) << k.cell << " type " << k.type;
        EXPECT_EQ(key.category, k.category) << k.cell << " type " << k.type;
        const char16_t* label = keypad_label(key, 0x0600);
        const char16_t* old = keypad_label(key, 0x0501);
        EXPECT_EQ(label == nullptr ? "" : utf16_to_utf8(label), k.label) << k.cell << " type " << k.type;
        EXPECT_EQ(old == nullptr ? "" : utf16_to_utf8(old), k.label_old) << k.cell << " type " << k.type;
    }
}

// Every command of a type sits on one key, and the command ranges match the key kinds.
TEST(KeypadTable, CommandsAreUniquePerType) {
    for (uint32_t type : {kTypeReal, kTypeRational, kTypeComplex, kTypeUnsigned}) {
        int keys = 0;
        for (int cell = 0; cell < kKeypadCells; ++cell) {
            const KeypadKey key = keypad_key(cell, type);
            if (key.command == kCmdNone) {
                EXPECT_EQ(key.label, nullptr) << cell;
                continue;
            }
            ++keys;
            EXPECT_EQ(keypad_cell_of(key.command, type), cell) << cell << " type " << type;
        }
        const int expected = type == kTypeUnsigned ? 47 : type == kTypeReal ? 61 : type == kTypeRational ? 62 : 65;
        EXPECT_EQ(keys, expected) << type;
    }
}

TEST_F(CalculatorTest, StartShowsZeroAndLabelsTheKeys) {
    start(kTypeUnsigned);
    EXPECT_EQ(entry(), "0");
    EXPECT_EQ(calc->entry_state, kResultShown);
    EXPECT_EQ(window.labelled_type, kTypeUnsigned);
    EXPECT_TRUE(enabled(1309));
    EXPECT_FALSE(enabled(kCmdDigitA));
    EXPECT_FALSE(enabled(kCmdDigitA + 5));
}

// Only agreement to the working precision less about two digits counts as a quarter turn.
TEST_F(CalculatorTest, NearQuarterTurnIsComputed) {
    start(kTypeReal);
    keys("90.000000000001 cos");
    const std::string shown = entry();
    EXPECT_EQ(shown.substr(0, 6), "-1.745") << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "e-14") << shown;
}

TEST_F(CalculatorTest, ParenthesisIndicatorCountsToTen) {
    start(kTypeReal);
    keys("(.. (..");
    EXPECT_EQ(utf16_to_utf8(window.paren), "(2");
    keys("2 ..)");
    EXPECT_EQ(utf16_to_utf8(window.paren), "(1");
    keys("AC");
    for (int i = 0; i < 11; ++i) keys("(..");
    EXPECT_EQ(utf16_to_utf8(window.paren), "(10");
    EXPECT_EQ(calc->open_parens, 10);
    EXPECT_EQ(calc->pending_parens, 10);
    keys("2 =");
    EXPECT_EQ(utf16_to_utf8(window.paren), "");
    EXPECT_EQ(entry(), "2");
}

TEST_F(CalculatorTest, FullStackIsAnInternalError) {
    start(kTypeReal);
    for (int i = 0; i < kCalcStackEntries; ++i) keys("1 x^y");
    EXPECT_TRUE(messages.empty());
    keys("1 x^y");
    EXPECT_EQ(last_message(), kInternal);
    EXPECT_EQ(calc->top, kCalcStackEntries - 1);
    EXPECT_EQ(calc->entry_state, kEditing);
}

TEST_F(CalculatorTest, ImpossibleRoutesAreInternalErrors) {
    start(kTypeReal);
    press_key(*calc, kKeypadCells);
    EXPECT_EQ(last_message(), kInternal);
    messages.clear();
    press_key(*calc, 10);  // an empty key
    EXPECT_EQ(last_message(), kInternal);
    messages.clear();
    press_key(*calc, 35);  // arg x exists only for complex numbers
    EXPECT_EQ(last_message(), kInternal);
}

TEST_F(CalculatorTest, TooLongEntryTextIsRefused) {
    start(kTypeReal);
    type(std::u16string(kCalcMaxEntryChars + 1, u'1'));
    keys("=");
    EXPECT_EQ(last_message(), kTooLong);
    EXPECT_EQ(window.entry.size(), static_cast<size_t>(kCalcMaxEntryChars + 1));
    EXPECT_EQ(calc->entry_state, kEditing);

    messages.clear();
    start(kTypeUnsigned);
    type(std::u16string(kCalcMaxEntryChars + 1, u'1'));
    EXPECT_EQ(last_message(), kTooLong);
}

TEST_F(CalculatorTest, DigitCounterCountsDigitsAndLetters) {
    start(kTypeUnsigned);
    keys("1 2 3");
    EXPECT_EQ(utf16_to_utf8(window.counter), "3 ");
    type(u"'4");
    EXPECT_EQ(utf16_to_utf8(window.counter), "4 ");
}

TEST_F(CalculatorTest, ComplexSquareRootBrowsesBothRoots) {
    start(kTypeComplex);
    keys("4 ± ²√x");
    EXPECT_EQ(entry(), "2i");
    EXPECT_TRUE(enabled(kCmdRootNext));
    EXPECT_FALSE(enabled(kCmdRootPrev));
    keys("rt+");
    EXPECT_EQ(entry(), "-2i");
    EXPECT_FALSE(enabled(kCmdRootNext));
    EXPECT_TRUE(enabled(kCmdRootPrev));
    keys("rt+");
    EXPECT_EQ(entry(), "-2i");
    keys("rt- rt-");
    EXPECT_EQ(entry(), "2i");
    keys("+");
    EXPECT_FALSE(enabled(kCmdRootNext));
    EXPECT_FALSE(enabled(kCmdRootPrev));
}

TEST_F(CalculatorTest, RegisterSelection) {
    start(kTypeReal);
    keys("4 2 = MxW 2");
    EXPECT_EQ(utf16_to_utf8(window.reg), "M?x");
    keys("1");
    EXPECT_EQ(utf16_to_utf8(window.reg), "M1x");
    keys("9");
    EXPECT_EQ(utf16_to_utf8(window.reg), "M19");
    ASSERT_TRUE(settings.memory[19].has_value());
    EXPECT_EQ(utf16_to_utf8(*settings.memory[19]), "42");
    EXPECT_TRUE(settings_changed);
    EXPECT_EQ(entry(), "42");

    keys("AC MxR 1 9");
    EXPECT_EQ(entry(), "42");
    EXPECT_EQ(calc->entry_state, kResultShown);
    keys("+ 1 =");
    EXPECT_EQ(entry(), "43");
    EXPECT_EQ(utf16_to_utf8(window.reg), "");

    // A key other than a digit ends the selection.
    keys("MxR 1 + 5 =");
    EXPECT_EQ(entry(), "48");
    EXPECT_EQ(calc->register_select, kRegisterOff);
}

TEST_F(CalculatorTest, RegistersKeepTypedTextBehindTheMarker) {
    start(kTypeReal);
    keys("1/3 MW");
    ASSERT_TRUE(settings.memory[0].has_value());
    EXPECT_EQ(utf16_to_utf8(*settings.memory[0]), "@1/3");
    keys("AC MR");
    EXPECT_EQ(entry(), "1/3");
    EXPECT_EQ(calc->entry_state, kEditing);
    keys("=");
    EXPECT_EQ(entry(), "0.3333333333");
    keys("MW");
    EXPECT_EQ(utf16_to_utf8(*settings.memory[0]), "0.3333333333333333333");
    keys("MC");
    EXPECT_EQ(utf16_to_utf8(*settings.memory[0]), "");
    keys("5 MR");
    EXPECT_EQ(entry(), "0");
}

TEST_F(CalculatorTest, UnreadableRegisterReturnsToTheEntryLine) {
    start(kTypeReal);
    settings.memory[3] = u"2+";
    keys("MxR 0 3");
    EXPECT_EQ(entry(), "2+");
    EXPECT_EQ(last_message(), "Invalid input: Unexpected end of formula!");
    EXPECT_EQ(calc->entry_state, kEditing);
    keys("3 =");
    EXPECT_EQ(entry(), "5");
}

TEST_F(CalculatorTest, UnsignedRegistersAreDecimal) {
    start(kTypeUnsigned);
    set_base(*calc, 16);
    keys("F F = MW");
    EXPECT_EQ(utf16_to_utf8(*settings.memory[0]), "255");
    keys("AC MR");
    EXPECT_EQ(entry(), "FF");
}

TEST_F(CalculatorTest, RationalRegistersKeepTheFraction) {
    start(kTypeRational);
    keys("1/3 = MW AC MR * 3 =");
    EXPECT_EQ(utf16_to_utf8(*settings.memory[0]), "1/3");
    EXPECT_EQ(entry(), "1");
}

TEST_F(CalculatorTest, DigitsGiveLimbCounts) {
    start(kTypeReal);
    set_digits(*calc, 20);
    EXPECT_EQ(calc->calc_limbs, 2);
    set_digits(*calc, 19);
    EXPECT_EQ(calc->calc_limbs, 1);
    EXPECT_EQ(settings.decimal_precision, 19);
    EXPECT_TRUE(settings_changed);
}

struct RelayCase {
    uint32_t type;
    int32_t from;
    const char* before;
    int32_t to;
    const char* after;
    const char* entry;
};

TEST_F(CalculatorTest, PrecisionChangesReLayHeldValues) {
    const RelayCase cases[] = {
        {kTypeReal, 40, "1 ÷ 3 =", 10, "=", "0.3333333333"},
        {kTypeReal, 10, "1 ÷ 3 =", 40, "=", "0.3333333333333333333"},
        {kTypeReal, 10, "2 ÷ 3 =", 40, "=", "0.6666666666666666667"},
        {kTypeReal, 40, "1 + 1 ÷ 3 ÷ 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0", 10, "=", "1"},
        {kTypeRational, 40, "1/3 =", 10, "=", "1/3"},
        {kTypeRational, 10, "2/3 =", 40, "* 3 =", "2"},
        {kTypeRational, 40, "1 0 x^y 3 0 ± + 1/3 =", 10, "=", "0.3333333333"},
        {kTypeComplex, 40, "i + 1 ÷ 3 =", 10, "=", "0.3333333333+i"},
        {kTypeComplex, 10, "1 ÷ 3 \"+\" i =", 40, "=", "0.3-0.1i"},
        {kTypeComplex, 10, "i ÷ 3 =", 40, "=", "0.3333333333333333333i"},
        {kTypeComplex, 10, "4 ± ²√x", 40, "rt+", "-2i"},
    };
    for (const RelayCase& r : cases) {
        start(r.type, kAngleDegrees, r.from);
        keys(r.before);
        set_digits(*calc, r.to);
        keys(r.after);
        EXPECT_EQ(entry(), r.entry) << r.before << " at " << r.from << " then " << r.to;
    }
}

TEST_F(CalculatorTest, BaseChangeCompletesThePendingExpression) {
    start(kTypeUnsigned);
    keys("5 + 3");
    set_base(*calc, 16);
    EXPECT_EQ(entry(), "8");
    EXPECT_EQ(calc->entry_state, kResultShown);
    keys("+ A =");
    EXPECT_EQ(entry(), "12");
    EXPECT_TRUE(enabled(kCmdDigitA + 5));
    set_base(*calc, 2);
    EXPECT_EQ(entry(), "10010");
    EXPECT_FALSE(enabled(kCmdDigit0 + 2));
    EXPECT_FALSE(enabled(kCmdDigitA));
    set_base(*calc, 8);
    EXPECT_EQ(entry(), "22");
    EXPECT_TRUE(enabled(kCmdDigit0 + 7));
    EXPECT_FALSE(enabled(kCmdDigit0 + 8));
}

TEST_F(CalculatorTest, DigitGrouping) {
    settings.thousands_sep_sci_calc = 1;
    start(kTypeReal);
    keys("1 2 3 4 5 6 7 =");
    EXPECT_EQ(entry(), "1'234'567");
    start(kTypeUnsigned);
    set_base(*calc, 16);
    keys("1 2 3 4 5 =");
    EXPECT_EQ(entry(), "1'2345");
}

TEST_F(CalculatorTest, TypeChangeRelabelsAndClears) {
    start(kTypeReal);
    keys("5 + 3");
    set_number_type(*calc, kTypeUnsigned);
    EXPECT_EQ(window.labelled_type, kTypeUnsigned);
    EXPECT_EQ(entry(), "0");
    EXPECT_EQ(calc->top, 0);
    EXPECT_FALSE(enabled(kCmdDigitA));
    EXPECT_EQ(settings.number_type, kTypeUnsigned);
    EXPECT_TRUE(settings_changed);
    keys("7 [÷] 2 =");
    EXPECT_EQ(entry(), "3");
}

TEST_F(CalculatorTest, AngleUnitChangeAppliesToTheNextKey) {
    start(kTypeReal, kAngleRadians);
    keys("9 0 sin");
    EXPECT_EQ(entry(), "0.8939966636");
    set_angle_unit(*calc, kAngleDegrees);
    EXPECT_EQ(settings.angle_type, static_cast<uint32_t>(kAngleDegrees));
    keys("9 0 sin");
    EXPECT_EQ(entry(), "1");
}

TEST_F(CalculatorTest, MessageClearsTheCalculator) {
    start(kTypeReal);
    keys("2 + (.. 1 ÷ 0 =");
    EXPECT_EQ(last_message(), kOverflow);
    EXPECT_EQ(calc->top, 0);
    EXPECT_EQ(calc->open_parens, 0);
    EXPECT_EQ(utf16_to_utf8(window.paren), "");
    EXPECT_EQ(entry(), "0");
    keys("+ 4 =");
    EXPECT_EQ(entry(), "4");
}

}  // namespace
