#include "cli/linear_poly_commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "equations/grid_file.h"
#include "equations/linear_system.h"
#include "equations/polynomial_calc.h"
#include "grid/text_grid.h"
#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"

const char kLinearUsage[] =
    "usage: calcarium-cli linear [--type rat|real|cplx] [--digits N] FILE.csv\n"
    "\n"
    "Loads the grid file FILE.csv (\";\" between fields, a header line a1;...;an;b and one line per equation with\n"
    "the formulas of a1..an and b) and solves the system as the linear-systems window does.\n"
    "\n"
    "  --type T     number type: real (default), rat (exact fractions), cplx (complex)\n"
    "  --digits N   significant decimal digits, 5 to 1000 (default 10)\n"
    "\n"
    "Messages go to standard error; the exit status is then 1.\n";

const char kPolyUsage[] =
    "usage: calcarium-cli poly mul|div [--type rat|real|cplx] [--digits N] P0 P1 ...\n"
    "\n"
    "  mul   the product of 2 to 12 polynomials\n"
    "  div   the quotient and remainder of P0 divided by P1\n"
    "\n"
    "Each polynomial is its coefficient formulas from the highest degree down to a0, separated by \";\"\n"
    "(\"1;0;-1\" is x^2 - 1); at most 21 coefficients. Empty coefficients are 0.\n"
    "\n"
    "  --type T     number type: real (default), rat (exact fractions), cplx (complex)\n"
    "  --digits N   significant decimal digits, 5 to 1000 (default 10)\n"
    "\n"
    "Messages go to standard error; the exit status is then 1.\n";

namespace {

constexpr int kMinDigits = 5;
constexpr int kMaxDigits = 1000;

struct Options {
    uint32_t number_type = kTypeReal;
    int digits = 10;
    std::vector<const char*> arguments;
};

int usage_error(const char* command, const char* what, const char* arg) {
    std::fprintf(stderr, "calcarium-cli %s: %s \"%s\"\nTry \"calcarium-cli %s --help\".\n", command, what, arg,
                 command);
    return 2;
}

bool parse_digits(const char* text, int* out) {
    if (*text == 0) return false;
    int v = 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > kMaxDigits) return false;
    }
    if (v < kMinDigits) return false;
    *out = v;
    return true;
}

bool parse_type(const char* text, uint32_t* type) {
    if (std::strcmp(text, "real") == 0) {
        *type = kTypeReal;
    } else if (std::strcmp(text, "rat") == 0) {
        *type = kTypeRational;
    } else if (std::strcmp(text, "cplx") == 0) {
        *type = kTypeComplex;
    } else {
        return false;
    }
    return true;
}

// Reads the options from argv[first..]; returns -1 when the command should run, else the exit status.
int parse_options(int argc, char** argv, int first, const char* command, const char* usage, Options* options) {
    bool options_done = false;
    for (int i = first; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_done || std::strncmp(arg, "--", 2) != 0) {
            options->arguments.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--type") == 0 || std::strcmp(arg, "--digits") == 0) {
            if (i + 1 >= argc) return usage_error(command, "missing value after", arg);
            const char* value = argv[++i];
            if (arg[2] == 't') {
                if (!parse_type(value, &options->number_type))
                    return usage_error(command, "unknown number type", value);
            } else if (!parse_digits(value, &options->digits)) {
                return usage_error(command, "digits must be 5 to 1000, not", value);
            }
        } else {
            return usage_error(command, "unknown option", arg);
        }
    }
    return -1;
}

void present_text_alone(std::u16string_view, std::u16string_view text) {
    std::fflush(stdout);
    const std::string line = utf16_to_utf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

// Writes the output-box text with CR LF as plain line ends, or shows the pending message; returns the status.
int finish(const std::u16string& output) {
    if (message_state.message_code != 0) {
        const MessagePresenter previous = set_message_presenter(present_text_alone);
        show_message();
        set_message_presenter(previous);
        return 1;
    }
    std::string bytes;
    for (const char c : utf16_to_utf8(output)) {
        if (c != '\r') bytes.push_back(c);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
    return 0;
}

void resize_grid(void* owner, int count) {
    static_cast<TextGrid*>(owner)->resize(count);
}

// Splits "c_m;...;c_1;c_0" into its coefficient texts.
std::vector<std::u16string> split_coefficients(const std::u16string& text) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(u';', start);
        parts.push_back(text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
    return parts;
}

}  // namespace

int run_linear_command(int argc, char** argv) {
    Options options;
    const int status = parse_options(argc, argv, 1, "linear", kLinearUsage, &options);
    if (status >= 0) return status;
    if (options.arguments.size() != 1) {
        return usage_error("linear", options.arguments.empty() ? "missing" : "unexpected argument",
                           options.arguments.empty() ? "FILE.csv" : options.arguments[1]);
    }

    clear_error_state();
    TextGrid grid(kLinearGridColumns, 2);
    if (load_grid_file(options.arguments[0], grid, resize_grid, &grid) != 0) return finish(u"");
    const LinearControls controls{grid.row_count(), options.number_type, options.digits};
    std::u16string output;
    solve_linear_command(grid, controls, &output);
    return finish(output);
}

int run_poly_command(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kPolyUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const bool multiply = std::strcmp(argv[1], "mul") == 0;
    if (!multiply && std::strcmp(argv[1], "div") != 0) return usage_error("poly", "unknown operation", argv[1]);
    Options options;
    const int status = parse_options(argc, argv, 2, "poly", kPolyUsage, &options);
    if (status >= 0) return status;
    const size_t count = options.arguments.size();
    if (count < 2) return usage_error("poly", "two polynomials at least, not", std::to_string(count).c_str());
    if (multiply && count > static_cast<size_t>(kPolyMaxCount)) {
        return usage_error("poly", "at most 12 polynomials, not", std::to_string(count).c_str());
    }
    if (!multiply && count != 2)
        return usage_error("poly", "div takes two polynomials, not", std::to_string(count).c_str());

    TextGrid grid(kPolyGridColumns, static_cast<int>(count));
    int max_degree = 1;
    for (size_t p = 0; p < count; ++p) {
        std::u16string text;
        if (!utf8_to_utf16(options.arguments[p], text))
            return usage_error("poly", "not valid UTF-8:", options.arguments[p]);
        const std::vector<std::u16string> coefficients = split_coefficients(text);
        if (coefficients.size() > static_cast<size_t>(kPolyCoefficients)) {
            return usage_error("poly", "more than 21 coefficients in", options.arguments[p]);
        }
        const int degree = static_cast<int>(coefficients.size()) - 1;
        if (degree > max_degree) max_degree = degree;
        for (int k = 0; k <= degree; ++k) {
            grid.set_cell_text(kPolyMaxDegree - k, static_cast<int>(p), coefficients[static_cast<size_t>(degree - k)]);
        }
    }

    const PolyControls controls{static_cast<int>(count), max_degree, options.number_type, options.digits};
    std::u16string output;
    if (multiply) {
        polynomial_multiply_command(grid, controls, &output);
    } else {
        polynomial_divide_command(grid, controls, &output);
    }
    return finish(output);
}
