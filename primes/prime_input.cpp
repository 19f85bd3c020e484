#include "primes/prime_input.h"

#include <array>

#include "integer/integer_text.h"
#include "numeric/num_context.h"
#include "shell/messages.h"

namespace {

constexpr uint32_t kParseGroups = kIntParseAllowGroups;
// A number of 129 words in base 2 with a group mark after every four digits, and room to spare.
constexpr int kNumberTextChars = 10400;

using WideNumber = std::array<uint64_t, kProbabilisticIntLimbs>;

// Sets the job width for the lifetime of the object and restores the previous one.
class WidthScope {
  public:
    explicit WidthScope(int width) : saved_(num_ctx.int_limbs) { num_ctx.int_limbs = width; }
    ~WidthScope() { num_ctx.int_limbs = saved_; }
    WidthScope(const WidthScope&) = delete;
    WidthScope& operator=(const WidthScope&) = delete;

  private:
    int32_t saved_;
};

uint32_t format_flags(bool group_digits) {
    return group_digits ? kPrimeFormatGroupDigits : 0;
}

std::u16string_view first_chars(std::u16string_view text, size_t limit) {
    return text.substr(0, limit);
}

bool is_blank(std::u16string_view text) {
    return text.find_first_not_of(u' ') == std::u16string_view::npos;
}

// Reads text at the current width; an error pending from an earlier read does not carry over.
bool read_number(uint64_t* value, std::u16string_view text, int base) {
    num_ctx.error_code = 0;
    return bigint_from_text(value, text.data(), static_cast<int>(text.size()), kParseGroups, base);
}

std::u16string write_number(const uint64_t* value, int base, bool group_digits) {
    std::u16string text(kNumberTextChars, u'\0');
    text.resize(
        static_cast<size_t>(bigint_to_text(text.data(), kNumberTextChars, value, format_flags(group_digits), base)));
    return text;
}

// A start number: readable and not 0. On success the text becomes its normalised form.
bool read_start_number(uint64_t* value, std::u16string* text, size_t limit, int base, bool group_digits) {
    const std::u16string_view read = first_chars(*text, limit);
    if (!read_number(value, read, base) || bigint_is_zero(value)) {
        set_message(kMsgInvalidInput, read);
        return false;
    }
    *text = write_number(value, base, group_digits);
    return true;
}

// An interval size: readable, one word (error 14 otherwise) and in 1 .. max.
bool read_interval(uint64_t* size, std::u16string_view text, int base, uint64_t max) {
    WideNumber value{};
    uint64_t word = 0;
    if (!read_number(value.data(), text, base) || !bigint_to_uint64(&word, value.data(), false) || word < 1 ||
        word > max) {
        set_message(kMsgInvalidInput, text);
        return false;
    }
    *size = word;
    return true;
}

}  // namespace

bool prime_numbers_read_input(SPrimeNumberCalc* job, PrimeNumbersInput* input) {
    clear_error_state();
    *job = SPrimeNumberCalc{};
    job->format_flags = format_flags(input->group_digits);
    job->base = input->base;
    job->parse_flags = kParseGroups;
    job->method = input->method;
    job->mode = input->mode;
    job->interval = 1;
    WidthScope width(input->method == kPrimeMethodExact ? kExactIntLimbs : kProbabilisticIntLimbs);
    if (!read_start_number(job->number, &input->number, kPrimeNumbersInputChars, input->base, input->group_digits)) {
        return false;
    }
    if (input->mode != kPrimeModeInterval) {
        job->interval = kPrimeIntervalMax;
        return true;
    }
    uint64_t size = 0;
    if (!read_interval(&size, first_chars(input->interval, kPrimeNumbersInputChars), input->base,
                       static_cast<uint64_t>(kPrimeIntervalMax))) {
        return false;
    }
    job->interval = static_cast<int32_t>(size);
    return true;
}

bool prime_factors_read_input(SPrimeFactorCalc* job, PrimeFactorsInput* input) {
    clear_error_state();
    *job = SPrimeFactorCalc{};
    job->divisors = input->divisors ? 1 : 0;
    job->show_count = input->show_count ? 1 : 0;
    job->format_flags = format_flags(input->group_digits);
    job->parse_flags = kParseGroups;
    job->base = input->base;
    job->interval = 1;
    WidthScope width(kExactIntLimbs);
    if (!read_start_number(job->number, &input->number, kPrimeFactorsInputChars, input->base, input->group_digits)) {
        return false;
    }
    if (is_blank(input->interval)) return true;
    uint64_t size = 0;
    if (!read_interval(&size, input->interval, input->base, kFactorIntervalMax)) return false;
    job->interval = static_cast<uint32_t>(size);
    WideNumber value{};
    value[0] = size;
    input->interval = write_number(value.data(), input->base, input->group_digits);
    return true;
}

int prime_input_digit_count(std::u16string_view text, size_t limit) {
    int count = 0;
    for (const char16_t c : first_chars(text, limit)) {
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) ++count;
    }
    return count;
}

bool prime_input_rebase(std::u16string* text, int width, int old_base, int new_base, bool group_digits) {
    if (is_blank(*text)) return true;
    WidthScope scope(width);
    WideNumber value{};
    if (!read_number(value.data(), *text, old_base)) {
        set_message(kMsgInvalidInput, *text);
        return false;
    }
    *text = write_number(value.data(), new_base, group_digits);
    return true;
}
