#include "cli/keys_command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "calculator/calculator_engine.h"
#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/settings.h"

const char kKeysUsage[] =
    "usage: calcarium-cli keys [--type uint|rat|real|cplx] [--digits N] [--angle deg|rad|gon] [--base 2|8|10|16]\n"
    "                          [--group] [--comma] KEY ...\n"
    "\n"
    "Presses the keys of the scientific calculator's keypad in order and prints the entry line after the last one,\n"
    "followed by \"[ ]\" when an unsigned-integer result was rounded down. A KEY is a key's label as the keypad of\n"
    "the number type shows it, for example 7 + x^y = (.. ..) sin \xC2\xB2\xE2\x88\x9Ax [\xC3\xB7] MxW MR AC Del\n"
    "(the minus key is \xE2\x80\x93, the character keys are \"+\" \"-\" \"/\" with their quotation marks). Any other\n"
    "argument is typed into the entry line, so a whole formula can be entered: keys 1/3+1 =\n"
    "\n"
    "  --type T     number type: real (default), rat, cplx, uint\n"
    "  --digits N   significant decimal digits, 5 to 10000 (default 10)\n"
    "  --angle U    angle unit: deg (default), rad, gon\n"
    "  --base B     number base of unsigned integers: 2, 8, 10 (default) or 16\n"
    "  --group      group the digits (1'234'567)\n"
    "  --comma      \",\" as decimal point\n"
    "\n"
    "The memory registers are those of the settings file; registers written by MW or MxW are saved there.\n"
    "Messages go to standard error; the exit status is then 1.\n";

namespace {

struct CliView {
    std::u16string entry;
    bool inexact = false;
};

CliView* as_view(void* owner) {
    return static_cast<CliView*>(owner);
}

CalculatorView make_view(CliView* view) {
    CalculatorView v{};
    v.owner = view;
    v.get_entry = [](void* o, std::u16string* text) { *text = as_view(o)->entry; };
    v.set_entry = [](void* o, std::u16string_view text) { as_view(o)->entry.assign(text); };
    v.append_entry = [](void* o, std::u16string_view text) { as_view(o)->entry.append(text); };
    v.delete_last_char = [](void* o) {
        if (!as_view(o)->entry.empty()) as_view(o)->entry.pop_back();
    };
    v.show_inexact = [](void* o, bool shown) { as_view(o)->inexact = shown; };
    return v;
}

bool message_shown = false;

void present_message(std::u16string_view, std::u16string_view text) {
    message_shown = true;
    std::string line = utf16_to_utf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

int usage_error(const char* what, const char* arg) {
    std::fprintf(stderr, "calcarium-cli keys: %s \"%s\"\n", what, arg);
    std::fputs("Try \"calcarium-cli keys --help\".\n", stderr);
    return 2;
}

struct Name {
    const char* name;
    uint32_t value;
};

template <size_t N>
bool parse_name(const Name (&names)[N], const char* text, uint32_t* out) {
    for (const Name& n : names) {
        if (std::strcmp(text, n.name) == 0) {
            *out = n.value;
            return true;
        }
    }
    return false;
}

const Name kTypes[] = {{"real", kTypeReal}, {"rat", kTypeRational}, {"cplx", kTypeComplex}, {"uint", kTypeUnsigned}};
const Name kAngles[] = {{"deg", kAngleDegrees}, {"rad", kAngleRadians}, {"gon", kAngleGon}};
const Name kBases[] = {{"2", 2}, {"8", 8}, {"10", 10}, {"16", 16}};

bool parse_digits(const char* text, int32_t* out) {
    int64_t v = 0;
    if (*text == 0) return false;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > 10000) return false;
    }
    if (v < 5) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

// The cell whose label (for the newer or the older system) is `label`, -1 for none.
int cell_of_label(std::u16string_view label, uint32_t number_type) {
    for (int cell = 0; cell < kKeypadCells; ++cell) {
        const KeypadKey key = keypad_key(cell, number_type);
        if (key.command == kCmdNone) continue;
        if (label == key.label || label == key.label_old) return cell;
    }
    return -1;
}

// Text typed by the user: it replaces a shown result or pending operand (the entry line selects its whole text
// when it gains the focus) and is appended while editing.
void type_text(Calculator& c, CliView& view, std::u16string_view text) {
    const bool editing = c.entry_state == kEditing;
    entry_key(c);
    if (editing) {
        view.entry.append(text);
    } else {
        view.entry.assign(text);
    }
    entry_changed(c);
}

}  // namespace

int run_keys_command(int argc, char** argv) {
    uint32_t type = kTypeReal;
    uint32_t angle = kAngleDegrees;
    uint32_t base = 10;
    int32_t digits = 10;
    bool group = false;
    bool comma = false;
    std::vector<std::u16string> keys;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_done || std::strncmp(arg, "--", 2) != 0) {
            std::u16string text;
            if (!utf8_to_utf16(arg, text)) return usage_error("key is not valid UTF-8:", arg);
            keys.push_back(text);
        } else if (std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            std::fputs(kKeysUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--group") == 0) {
            group = true;
        } else if (std::strcmp(arg, "--comma") == 0) {
            comma = true;
        } else if (std::strcmp(arg, "--type") == 0 || std::strcmp(arg, "--digits") == 0 ||
                   std::strcmp(arg, "--angle") == 0 || std::strcmp(arg, "--base") == 0) {
            if (i + 1 >= argc) return usage_error("missing value after", arg);
            const char* value = argv[++i];
            if (arg[2] == 't' && !parse_name(kTypes, value, &type)) return usage_error("unknown number type", value);
            if (arg[2] == 'a' && !parse_name(kAngles, value, &angle)) return usage_error("unknown angle unit", value);
            if (arg[2] == 'b' && !parse_name(kBases, value, &base)) {
                return usage_error("base must be 2, 8, 10 or 16, not", value);
            }
            if (arg[2] == 'd' && !parse_digits(value, &digits)) {
                return usage_error("digits must be 5 to 10000, not", value);
            }
        } else {
            return usage_error("unknown option", arg);
        }
    }

    load_settings();
    const Settings loaded = settings;
    settings.thousands_sep_sci_calc = group ? 1 : 0;
    num_ctx.decimal_point_chars[0] = comma ? u',' : u'.';
    num_ctx.decimal_point_chars[1] = comma ? u'.' : u',';

    MessagePresenter previous = set_message_presenter(present_message);
    message_shown = false;
    CliView view;
    auto calc = std::make_unique<Calculator>();
    Calculator& c = *calc;
    calculator_create(c, make_view(&view), type, angle, digits);
    set_base(c, base);
    for (const std::u16string& key : keys) {
        const int cell = cell_of_label(key, c.calc_type);
        if (cell >= 0) {
            press_key(c, cell);
        } else {
            type_text(c, view, key);
        }
    }
    std::string line = utf16_to_utf8(view.entry);
    if (view.inexact) line += " [ ]";
    line += "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    set_message_presenter(previous);

    // Only the registers persist; the options of this run do not change the user's settings.
    bool registers_changed = false;
    for (int r = 0; r < kRegisterCount; ++r)
        registers_changed = registers_changed || settings.memory[r] != loaded.memory[r];
    Settings updated = loaded;
    for (int r = 0; r < kRegisterCount; ++r) updated.memory[r] = settings.memory[r];
    settings = updated;
    settings_changed = registers_changed;
    if (save_settings() != kIniOk) {
        std::fputs("calcarium-cli keys: the settings file could not be written\n", stderr);
        return 1;
    }
    return message_shown ? 1 : 0;
}
