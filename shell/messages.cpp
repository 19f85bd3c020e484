#include "shell/messages.h"

#include <cstdio>
#include <initializer_list>

#include "numeric/num_context.h"
#include "shell/ini_file.h"

MessageState message_state{};

namespace {

MessagePresenter presenter = present_on_stderr;

struct CodeSlot {
    uint32_t code;
    int slot;
};

const CodeSlot kMessageSlots[] = {
    {0, 100},    {1000, 101}, {1001, 102}, {1002, 103}, {1003, 104}, {1005, 105}, {1006, 106}, {1200, 107}, {2000, 108},
    {2001, 109}, {2002, 110}, {2003, 111}, {2004, 112}, {2005, 113}, {2006, 114}, {3000, 115}, {3100, 116}, {3101, 117},
    {3300, 118}, {3400, 119}, {3401, 120}, {3402, 121}, {9000, 122}, {9001, 123}, {9002, 124},
};

const CodeSlot kFormulaSlots[] = {
    {0, 100}, {3200, 126}, {3201, 127}, {3202, 128}, {3203, 129}, {3204, 130},
};

template <size_t N>
int slot_of(const CodeSlot (&table)[N], uint32_t code, int fallback) {
    for (const auto& e : table) {
        if (e.code == code) return e.slot;
    }
    return fallback;
}

std::u16string decimal(int64_t value) {
    std::u16string out;
    bool negative = value < 0;
    uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (negative) out.insert(out.begin(), u'-');
    return out;
}

// Replaces the "%s" and "%d" placeholders of pattern by args in order; a placeholder without an argument stays.
std::u16string fill(std::u16string_view pattern, std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && (pattern[i + 1] == u's' || pattern[i + 1] == u'd') &&
            next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

bool is_high_surrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// At most n characters, without splitting a surrogate pair.
void cut(std::u16string& text, size_t n) {
    if (text.size() <= n) return;
    if (n > 0 && is_high_surrogate(text[n - 1])) --n;
    text.resize(n);
}

std::u16string shorten_param(std::u16string_view param) {
    std::u16string out(param);
    if (out.size() > kMessageParamChars) {
        cut(out, kMessageParamChars - 1);
        out += u'\u2026';
    }
    return out;
}

}  // namespace

void set_message(uint32_t code, std::u16string_view param1, std::u16string_view param2) {
    if (message_state.message_code != 0) return;
    message_state.message_code = code;
    message_state.message_param1 = shorten_param(param1);
    message_state.message_param2 = shorten_param(param2);
}

bool message_takes_detail(uint32_t code) {
    return code == kMsgInvalidFormula || code == kMsgCoefficientFormula || code == kMsgPolynomialFormula ||
           code == kMsgGridCellFormula;
}

std::u16string compose_message(const MessageState& state, const StringTable& table) {
    int slot = slot_of(kMessageSlots, state.message_code, kSlotUnknownMessage);
    std::u16string text;
    if (slot == kSlotUnknownMessage) {
        text = fill(table.text[slot], {decimal(state.message_code), state.message_param2});
    } else {
        text = fill(table.text[slot], {state.message_param1, state.message_param2});
    }
    cut(text, kMessageChars);
    if (message_takes_detail(state.message_code)) {
        if (state.formula_error != 0) {
            int formula_slot = slot_of(kFormulaSlots, state.formula_error, kSlotUnknownFormulaError);
            int64_t number =
                formula_slot == kSlotUnknownFormulaError ? int64_t{state.formula_error} : state.formula_error_pos;
            text += u' ';
            text += fill(table.text[formula_slot], {decimal(number)});
            cut(text, kMessageChars);
        } else if (!text.empty()) {
            text.back() = u'!';
        }
    }
    return text;
}

void present_on_stderr(std::u16string_view title, std::u16string_view text) {
    std::string line = utf16_to_utf8(title) + ": " + utf16_to_utf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

MessagePresenter set_message_presenter(MessagePresenter p) {
    MessagePresenter previous = presenter;
    presenter = p != nullptr ? p : present_on_stderr;
    return previous;
}

void clear_error_state() {
    message_state.message_code = 0;
    message_state.message_param1.clear();
    message_state.message_param2.clear();
    message_state.formula_error = 0;
    message_state.formula_error_pos = 0;
    num_ctx.error_code = 0;
}

void show_message() {
    if (message_state.message_code == 0) return;
    presenter(string_table.text[kSlotErrorTitle], compose_message(message_state, string_table));
    clear_error_state();
}
