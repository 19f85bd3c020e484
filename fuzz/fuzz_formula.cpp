// Fuzzes evaluate_formula. Byte 0 selects the number type (and the comma as decimal point), byte 1 the precision;
// the rest is the formula. Every evaluation must end with a formula code of its table and a position inside the
// text, a clean numeric context, the scratch stack and precision as they were, a result of 0 after a failure, and
// the same outcome when repeated.
#include <cstdint>
#include <vector>

#include "formula/formula_eval.h"
#include "fuzz/fuzz_input.h"
#include "numeric/real_text.h"

namespace {

constexpr size_t kMaxFormulaChars = 512;
constexpr size_t kResultWords = 2 * (kMaxUserLimbs + 1) + 512;
constexpr uint64_t kCanary = 0xC0FFEE0DDBA11ull;

int limbs_for(uint8_t b) {
    if (b < 0xF0) return 1 + b % 16;  // up to 304 digits
    return b < 0xF8 ? 64 : 200;       // now and then the large precisions
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (init_numeric_context(), true);
    (void)ready;
    if (size < 2) return 0;
    static const uint32_t kTypes[] = {kTypeReal, kTypeRational, kTypeComplex, kTypeUnsigned};
    num_ctx.number_type = kTypes[data[0] & 3];
    bool comma = (data[0] & 4) != 0;
    num_ctx.decimal_point_chars[0] = comma ? u',' : u'.';
    num_ctx.decimal_point_chars[1] = comma ? u'.' : u',';
    num_ctx.real_limbs = limbs_for(data[1]);
    num_ctx.int_limbs = 512;
    std::u16string text = fuzz_text(data + 2, size - 2, kMaxFormulaChars);

    std::vector<uint64_t> result(kResultWords + 1, 0);
    result[kResultWords] = kCanary;
    uint8_t* scratch = num_ctx.scratch_top;

    evaluate_formula(result.data(), text.c_str());
    const FormulaResult first = formula_result;

    FUZZ_CHECK(num_ctx.error_code == 0, text);
    FUZZ_CHECK(num_ctx.scratch_top == scratch, text);
    FUZZ_CHECK(num_ctx.guard_limbs == 0 && num_ctx.guard_digit_reduction == 0, text);
    FUZZ_CHECK(num_ctx.real_limbs == limbs_for(data[1]) && num_ctx.int_limbs == 512, text);
    FUZZ_CHECK(result[kResultWords] == kCanary, text);
    FUZZ_CHECK(first.formula_error == 0 ||
                   (first.formula_error >= kFormulaSyntax && first.formula_error <= kFormulaTooComplex),
               text);
    if (first.formula_error == 0) {
        FUZZ_CHECK(first.formula_error_pos == 0, text);
    } else {
        FUZZ_CHECK(first.formula_error_pos >= 1 && first.formula_error_pos <= static_cast<int32_t>(text.size()) + 1,
                   text);
        if (num_ctx.number_type != kTypeUnsigned) FUZZ_CHECK(value_compare_int(result.data(), 0) == 0, text);
    }
    if (num_ctx.number_type == kTypeUnsigned) {
        FUZZ_CHECK(first.formula_error == kFormulaNumber || first.formula_error == kFormulaSyntax ||
                       first.formula_error == kFormulaUnexpectedEnd || first.formula_error == kFormulaTooComplex ||
                       first.formula_error == kFormulaMissingLeftParen,
                   text);
    }

    // The writers must cope with every result.
    static char16_t buffer[kRingTextCapacity + 1];
    num_ctx.error_code = 0;
    int n = value_format(buffer, kRingTextCapacity, result.data(), 0);
    FUZZ_CHECK(n >= 0 && n <= kRingTextCapacity, text);
    num_ctx.error_code = 0;

    evaluate_formula(result.data(), text.c_str());
    FUZZ_CHECK(formula_result.formula_error == first.formula_error, text);
    FUZZ_CHECK(formula_result.formula_error_pos == first.formula_error_pos, text);
    return 0;
}
