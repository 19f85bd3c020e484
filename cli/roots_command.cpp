#include "cli/roots_command.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "equations/algebraic_equation.h"
#include "shell/ini_file.h"
#include "shell/messages.h"

const char kRootsUsage[] =
    "usage: calcarium-cli roots [--mode real|complex] [--exact] [--digits N] [--no-multiplicity] A_N ... A_0\n"
    "\n"
    "Solves A_N*x^N + ... + A_1*x + A_0 = 0 for a degree N of 1 to 10 and writes the roots as the algebraic\n"
    "equations window does, equal roots once with their multiplicity in brackets. Each coefficient is a formula.\n"
    "\n"
    "  --mode M           real (default): the real roots only; complex: all roots\n"
    "  --exact            exact values for rational coefficients: rational roots and square-root forms\n"
    "  --digits N         significant digits, 5 to 2000 (degree up to 4), 1000 (up to 7) or 750 (default 10)\n"
    "  --no-multiplicity  no multiplicities after the roots\n"
    "  --                 every later argument is a coefficient (for coefficients starting with \"--\")\n"
    "\n"
    "A failure is reported on standard error; the exit status is then 1.\n";

namespace {

void present_text_alone(std::u16string_view, std::u16string_view text) {
    std::string line = utf16_to_utf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

int usage_error(const char* what, const char* arg) {
    std::fprintf(stderr, "calcarium-cli roots: %s \"%s\"\n", what, arg);
    std::fputs("Try \"calcarium-cli roots --help\".\n", stderr);
    return 2;
}

bool parse_count(const char* text, int* out) {
    if (*text == 0) return false;
    long v = 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > 1000000) return false;
    }
    *out = static_cast<int>(v);
    return true;
}

// The output box text with its CR LF line ends as plain line ends, ending in a line end.
std::string terminal_text(const std::u16string& box) {
    std::u16string text;
    for (size_t i = 0; i < box.size(); ++i) {
        if (box[i] == u'\r' && i + 1 < box.size() && box[i + 1] == u'\n') continue;
        text += box[i];
    }
    if (!text.empty() && text.back() != u'\n') text += u'\n';
    return utf16_to_utf8(text);
}

}  // namespace

int run_roots_command(int argc, char** argv) {
    EquationControls controls{0, 1, 0, 10, 1};
    CoefficientRows rows;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_done || std::strncmp(arg, "--", 2) != 0) {
            std::u16string text;
            if (!utf8_to_utf16(arg, text)) return usage_error("coefficient is not valid UTF-8:", arg);
            rows.texts.push_back(text);
        } else if (std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            std::fputs(kRootsUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--exact") == 0) {
            controls.exact = 1;
        } else if (std::strcmp(arg, "--no-multiplicity") == 0) {
            controls.multiplicity = 0;
        } else if (std::strcmp(arg, "--mode") == 0) {
            if (i + 1 >= argc) return usage_error("missing value after", arg);
            const char* mode = argv[++i];
            if (std::strcmp(mode, "real") == 0) {
                controls.real_only = 1;
            } else if (std::strcmp(mode, "complex") == 0) {
                controls.real_only = 0;
            } else {
                return usage_error("mode must be real or complex, not", mode);
            }
        } else if (std::strcmp(arg, "--digits") == 0) {
            if (i + 1 >= argc) return usage_error("missing value after", arg);
            if (!parse_count(argv[++i], &controls.digits)) return usage_error("digits must be a number, not", argv[i]);
        } else {
            return usage_error("unknown option", arg);
        }
    }
    const int degree = static_cast<int>(rows.texts.size()) - 1;
    if (degree < 1 || degree > kMaxEquationDegree) {
        std::fputs("calcarium-cli roots: give 2 to 11 coefficients, the highest first\n", stderr);
        std::fputs("Try \"calcarium-cli roots --help\".\n", stderr);
        return 2;
    }
    if (controls.digits < 5 || controls.digits > equation_precision_maximum(degree)) {
        std::fprintf(stderr, "calcarium-cli roots: digits must be 5 to %d for degree %d\n",
                     equation_precision_maximum(degree), degree);
        return 2;
    }
    controls.degree = degree;
    for (int r = 0; r <= degree; ++r) rows.names.push_back(coefficient_row_name(degree - r));

    std::u16string output;
    const uint32_t code = solve_equation(controls, rows, &output);
    if (code != 0) {
        MessagePresenter previous = set_message_presenter(present_text_alone);
        show_message();
        set_message_presenter(previous);
        return 1;
    }
    const std::string text = terminal_text(output);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}
