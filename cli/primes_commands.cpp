#include "cli/primes_commands.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "integer/integer_text.h"
#include "numeric/num_context.h"
#include "primes/prime_input.h"
#include "primes/prime_job.h"
#include "shell/ini_file.h"
#include "shell/messages.h"

const char kPrimesUsage[] =
    "usage: calcarium-cli primes test|next|interval [--method exact|probabilistic] [--base 2|8|10|16] [--group]\n"
    "                            N [K]\n"
    "\n"
    "  test       tells whether N is a prime number\n"
    "  next       the smallest prime number not below N\n"
    "  interval   the prime numbers of N .. N + K - 1 and their count (K from 1 to 2147483647, default 100)\n"
    "\n"
    "  --method M   exact: trial division, N below 2^128 (default);\n"
    "               probabilistic: small primes and two Euler-Jacobi tests, N up to 1242 decimal digits\n"
    "  --base B     base of N, K and every number written: 2, 8, 10 (default) or 16 (digits 0-9, A-F)\n"
    "  --group      group the digits of every number written (1'234'567)\n"
    "\n"
    "Ctrl+C stops the computation as the window's Stop button does. Messages go to standard error; the exit status\n"
    "is then 1 (130 after Ctrl+C).\n";

const char kFactorsUsage[] =
    "usage: calcarium-cli factors [--divisors] [--count] [--base 2|8|10|16] [--group] N [K]\n"
    "\n"
    "Writes the prime factorisation of each number N .. N + K - 1 (K from 1 to 1000000, default 1), or with\n"
    "--divisors the sorted list of its divisors. N is below 2^128.\n"
    "\n"
    "  --divisors   divisor lists instead of prime factors\n"
    "  --count      the number of divisors after each divisor list (with --divisors)\n"
    "  --base B     base of N, K and every number written: 2, 8, 10 (default) or 16 (digits 0-9, A-F)\n"
    "  --group      group the digits of every number written (1'234'567)\n"
    "\n"
    "Ctrl+C stops the computation as the window's Stop button does. Messages go to standard error; the exit status\n"
    "is then 1 (130 after Ctrl+C).\n";

namespace {

// The characters of the input boxes that the windows read.

JobRunner runner;
volatile std::sig_atomic_t interrupted = 0;
bool message_shown = false;

extern "C" void on_interrupt(int) {
    interrupted = 1;
    runner.stop.store(1, std::memory_order_relaxed);
}

// Output pieces go to standard output with CR LF written as a plain line end.
void append_to_stdout(void*, const char16_t* text) {
    std::u16string_view piece(text);
    std::string bytes;
    bytes.reserve(piece.size());
    for (const char c : utf16_to_utf8(piece)) {
        if (c != '\r') bytes.push_back(c);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void present_message(std::u16string_view, std::u16string_view text) {
    std::string line = utf16_to_utf8(text) + "\n";
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    message_shown = true;
}

struct CommonOptions {
    int base;
    bool group;
    const char* number;
    const char* interval;  // null when not given
};

int usage_error(const char* command, const char* what, const char* arg) {
    std::fprintf(stderr, "calcarium-cli %s: %s \"%s\"\nTry \"calcarium-cli %s --help\".\n", command, what, arg,
                 command);
    return 2;
}

bool parse_base(const char* text, int* base) {
    static const char* const kBases[] = {"2", "8", "10", "16"};
    static const int kValues[] = {2, 8, 10, 16};
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(text, kBases[i]) == 0) {
            *base = kValues[i];
            return true;
        }
    }
    return false;
}

// An argument as UTF-16 text; the input reader cuts it to what the window's box would read.
bool input_text(const char* arg, std::u16string* text) {
    return arg == nullptr || utf8_to_utf16(arg, *text);
}

// Runs a started job to its end, with Ctrl+C setting the stop flag, and returns the exit status.
template <class Record>
int run_job(const Record& job, bool (*start)(JobRunner*, const Record&)) {
    runner.sink = JobSink{append_to_stdout, nullptr, nullptr};
    interrupted = 0;
    message_shown = false;
    const MessagePresenter previous = set_message_presenter(present_message);
    void (*previous_handler)(int) = std::signal(SIGINT, on_interrupt);
    int status = 0;
    if (!start(&runner, job)) {
        std::fputs("calcarium-cli: another computation is running\n", stderr);
        status = 1;
    } else {
        if (interrupted) job_request_stop(&runner);  // a Ctrl+C before the start cleared the flag
        job_wait(&runner);
        std::fflush(stdout);
        status = message_shown ? 1 : interrupted ? 130 : 0;
    }
    std::signal(SIGINT, previous_handler == SIG_ERR ? SIG_DFL : previous_handler);
    set_message_presenter(previous);
    return status;
}

// Shows a pending input message the way the window does and returns the status for it.
int report_input_message() {
    const MessagePresenter previous = set_message_presenter(present_message);
    show_message();
    set_message_presenter(previous);
    return 1;
}

// Options shared by both commands; `extra` handles the command's own flags and returns false for unknown ones.
template <class Extra>
int parse_common(int argc, char** argv, int first, const char* command, CommonOptions* options, Extra extra) {
    options->base = 10;
    options->group = false;
    options->number = nullptr;
    options->interval = nullptr;
    bool options_done = false;
    for (int i = first; i < argc; ++i) {
        const char* arg = argv[i];
        if (!options_done && std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (!options_done && std::strcmp(arg, "--base") == 0) {
            if (i + 1 >= argc) return usage_error(command, "missing value of", arg);
            if (!parse_base(argv[++i], &options->base)) return usage_error(command, "unknown base", argv[i]);
        } else if (!options_done && std::strcmp(arg, "--group") == 0) {
            options->group = true;
        } else if (!options_done && arg[0] == '-' && arg[1] == '-') {
            if (!extra(argc, argv, &i)) return usage_error(command, "unknown option", arg);
            if (i >= argc) return usage_error(command, "missing value of", arg);
        } else if (options->number == nullptr) {
            options->number = arg;
        } else if (options->interval == nullptr) {
            options->interval = arg;
        } else {
            return usage_error(command, "unexpected argument", arg);
        }
    }
    if (options->number == nullptr) return usage_error(command, "missing", "N");
    return 0;
}

bool wants_help(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    }
    return false;
}

}  // namespace

int run_primes_command(int argc, char** argv) {
    if (argc < 2 || wants_help(argc, argv)) {
        std::fputs(kPrimesUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    uint32_t mode;
    if (std::strcmp(argv[1], "test") == 0) {
        mode = kPrimeModeTest;
    } else if (std::strcmp(argv[1], "next") == 0) {
        mode = kPrimeModeNext;
    } else if (std::strcmp(argv[1], "interval") == 0) {
        mode = kPrimeModeInterval;
    } else {
        return usage_error("primes", "unknown question", argv[1]);
    }
    uint32_t method = kPrimeMethodExact;
    const char* unknown_method = nullptr;
    auto extra = [&method, &unknown_method](int count, char** args, int* i) {
        if (std::strcmp(args[*i], "--method") != 0) return false;
        if (++*i >= count) return true;
        if (std::strcmp(args[*i], "exact") == 0) {
            method = kPrimeMethodExact;
        } else if (std::strcmp(args[*i], "probabilistic") == 0) {
            method = kPrimeMethodProbabilistic;
        } else {
            unknown_method = args[*i];
        }
        return true;
    };
    CommonOptions options;
    if (const int status = parse_common(argc, argv, 2, "primes", &options, extra); status != 0) return status;
    if (unknown_method != nullptr) return usage_error("primes", "unknown method", unknown_method);
    if (mode != kPrimeModeInterval && options.interval != nullptr) {
        return usage_error("primes", "unexpected argument", options.interval);
    }

    PrimeNumbersInput input{u"", u"100", method, mode, options.base, options.group};  // the interval box starts at 100
    if (!input_text(options.number, &input.number)) return usage_error("primes", "not valid UTF-8:", options.number);
    if (!input_text(options.interval, &input.interval)) {
        return usage_error("primes", "not valid UTF-8:", options.interval);
    }
    static SPrimeNumberCalc job;  // 1 KB: kept off the stack as the window keeps its own copy
    if (!prime_numbers_read_input(&job, &input)) return report_input_message();
    return run_job(job, job_start_prime_numbers);
}

int run_factors_command(int argc, char** argv) {
    if (wants_help(argc, argv)) {
        std::fputs(kFactorsUsage, stdout);
        return 0;
    }
    bool divisors = false;
    bool show_count = false;
    auto extra = [&divisors, &show_count](int, char** args, int* i) {
        if (std::strcmp(args[*i], "--divisors") == 0) {
            divisors = true;
        } else if (std::strcmp(args[*i], "--count") == 0) {
            show_count = true;
        } else {
            return false;
        }
        return true;
    };
    CommonOptions options;
    if (const int status = parse_common(argc, argv, 1, "factors", &options, extra); status != 0) return status;
    if (show_count && !divisors) return usage_error("factors", "--count needs", "--divisors");

    PrimeFactorsInput input{u"", u"", divisors, show_count, options.base, options.group};
    if (!input_text(options.number, &input.number)) return usage_error("factors", "not valid UTF-8:", options.number);
    if (!input_text(options.interval, &input.interval)) {
        return usage_error("factors", "not valid UTF-8:", options.interval);
    }
    SPrimeFactorCalc job{};
    if (!prime_factors_read_input(&job, &input)) return report_input_message();
    return run_job(job, job_start_prime_factors);
}
