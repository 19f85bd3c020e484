#include "cli/eval_command.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "formula/formula_eval.h"
#include "formula/value.h"
#include "integer/integer_text.h"
#include "numeric/real_text.h"
#include "shell/ini_file.h"
#include "shell/messages.h"

const char kEvalUsage[] =
    "usage: calcarium-cli eval [--type real|rat|cplx|uint] [--digits N] [--base 2|8|10|16] [--group] [--comma]\n"
    "                          [FORMULA ...]\n"
    "\n"
    "Computes each FORMULA as the scientific calculator computes an entry line followed by \"=\" and writes the\n"
    "result as its display shows it, one line per formula. Without FORMULA arguments every line of standard input\n"
    "is one formula.\n"
    "\n"
    "  --type T     number type: real (default), rat (exact fractions), cplx (complex), uint (unsigned integer)\n"
    "  --digits N   significant decimal digits, 5 to 10000 (default 10)\n"
    "  --base B     number base of unsigned integers: 2, 8, 10 (default) or 16\n"
    "  --group      group the digits (1'234'567)\n"
    "  --comma      \",\" as decimal point\n"
    "  --           every later argument is a formula\n"
    "\n"
    "Formulas know + - * / ^, parentheses, pi (or \xCF\x80), the imaginary unit i (or j) and the functions sqrt,\n"
    "cbrt, ln, log2, log10, exp, abs, sin, cos, tan, asin, acos, atan, sinh, cosh, tanh, asinh, acosh, atanh, fac.\n"
    "Angles are in radians. A formula that cannot be computed is reported on standard error; the exit status is\n"
    "then 1.\n";

namespace {

// The display of the calculator in its normal mode: value rounded to the chosen digits, automatic form.
void display_value(const EvalOptions& options, Value* value, std::u16string& result) {
    uint32_t flags = options.group ? uint32_t{kFmtGroupDigits} : 0u;
    if (options.number_type == kTypeRational) flags |= kFmtPointZero;
    num_ctx.min_plain_exponent = -4;
    num_ctx.display_digits = options.digits;
    if (value_is_decimal(value)) value_round_digits(value, value, options.digits);
    std::vector<char16_t> buffer(kMaxEntryChars);
    int length = value_format(buffer.data(), kMaxEntryChars, value, flags);
    result.assign(buffer.data(), static_cast<size_t>(length));
}

bool compute_unsigned(const EvalOptions& options, const std::u16string& entry, std::u16string& result) {
    std::vector<BigInt> value(kCalculatorIntLimbs);
    if (!bigint_from_text(value.data(), entry.c_str(), static_cast<int>(entry.size()), kIntParseAllowGroups,
                          options.base)) {
        set_message(kMsgInvalidFormula);
        show_message();
        return false;
    }
    std::vector<char16_t> buffer(kMaxEntryChars);
    uint32_t flags = options.group ? uint32_t{kIntFmtGroupDigits} : 0u;
    int length = bigint_to_text(buffer.data(), kMaxEntryChars, value.data(), flags, options.base);
    result.assign(buffer.data(), static_cast<size_t>(length));
    return true;
}

void present_text_alone(std::u16string_view, std::u16string_view text) {
    std::string line = utf16_to_utf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

bool parse_int(const char* text, int* out) {
    if (*text == 0) return false;
    long long v = 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > 1000000) return false;
    }
    *out = static_cast<int>(v);
    return true;
}

bool parse_type(const char* text, uint32_t* type) {
    struct Name {
        const char* name;
        uint32_t type;
    };
    static const Name kNames[] = {
        {"real", kTypeReal}, {"rat", kTypeRational}, {"cplx", kTypeComplex}, {"uint", kTypeUnsigned}};
    for (const Name& n : kNames) {
        if (std::strcmp(text, n.name) == 0) {
            *type = n.type;
            return true;
        }
    }
    return false;
}

int usage_error(const char* what, const char* arg) {
    std::fprintf(stderr, "calcarium-cli eval: %s \"%s\"\n", what, arg);
    std::fputs("Try \"calcarium-cli eval --help\".\n", stderr);
    return 2;
}

// Computes one formula given as UTF-8 and writes its result line; returns false when it failed.
bool eval_one(const EvalOptions& options, std::string_view formula) {
    std::u16string entry;
    if (!utf8_to_utf16(formula, entry)) {
        std::fputs("calcarium-cli eval: the formula is not valid UTF-8\n", stderr);
        return false;
    }
    std::u16string result;
    if (!compute_entry_line(options, entry, result)) return false;
    std::string line = utf16_to_utf8(result) + "\n";
    std::fputs(line.c_str(), stdout);
    return true;
}

}  // namespace

void install_eval_options(const EvalOptions& options) {
    num_ctx.number_type = options.number_type;
    num_ctx.real_limbs = (options.digits + 18) / 19;
    num_ctx.int_limbs = kCalculatorIntLimbs;
    num_ctx.decimal_point_chars[0] = options.comma ? u',' : u'.';
    num_ctx.decimal_point_chars[1] = options.comma ? u'.' : u',';
    num_ctx.decimal_point_chars[2] = 0;
}

bool compute_entry_line(const EvalOptions& options, const std::u16string& entry, std::u16string& result) {
    clear_error_state();
    install_eval_options(options);
    if (entry.size() > static_cast<size_t>(kMaxEntryChars)) {
        set_message(kMsgTextTooLong);
        show_message();
        return false;
    }
    if (options.number_type == kTypeUnsigned) return compute_unsigned(options, entry, result);

    std::vector<Value> value(value_words());
    evaluate_formula(value.data(), entry.c_str());
    if (formula_result.formula_error != 0) {
        message_state.formula_error = formula_result.formula_error;
        message_state.formula_error_pos = formula_result.formula_error_pos;
        set_message(kMsgInvalidFormula);
        show_message();
        return false;
    }
    display_value(options, value.data(), result);
    num_ctx.error_code = 0;
    return true;
}

int run_eval_command(int argc, char** argv) {
    EvalOptions options{kTypeReal, 10, 10, false, false};
    std::vector<const char*> formulas;
    bool options_done = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_done || std::strncmp(arg, "--", 2) != 0) {
            formulas.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            std::fputs(kEvalUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--group") == 0) {
            options.group = true;
        } else if (std::strcmp(arg, "--comma") == 0) {
            options.comma = true;
        } else if (std::strcmp(arg, "--type") == 0 || std::strcmp(arg, "--digits") == 0 ||
                   std::strcmp(arg, "--base") == 0) {
            if (i + 1 >= argc) return usage_error("missing value after", arg);
            const char* value = argv[++i];
            int n = 0;
            if (arg[2] == 't') {
                if (!parse_type(value, &options.number_type)) return usage_error("unknown number type", value);
            } else if (arg[2] == 'd') {
                if (!parse_int(value, &n) || n < kMinDigits || n > kMaxDigits) {
                    return usage_error("digits must be 5 to 10000, not", value);
                }
                options.digits = n;
            } else {
                if (!parse_int(value, &n) || (n != 2 && n != 8 && n != 10 && n != 16)) {
                    return usage_error("base must be 2, 8, 10 or 16, not", value);
                }
                options.base = n;
            }
        } else {
            return usage_error("unknown option", arg);
        }
    }

    MessagePresenter previous = set_message_presenter(present_text_alone);
    bool all_ok = true;
    if (!formulas.empty()) {
        for (const char* formula : formulas) all_ok = eval_one(options, formula) && all_ok;
    } else {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            all_ok = eval_one(options, line) && all_ok;
        }
    }
    std::fflush(stdout);
    set_message_presenter(previous);
    return all_ok ? 0 : 1;
}
