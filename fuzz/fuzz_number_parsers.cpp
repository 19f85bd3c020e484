// Fuzzes the number readers: real_parse, complex_parse, rational_from_text and bigint_from_text. Byte 0 selects the
// precision, byte 1 the integer width, base and reading flags; the rest is the text. Each reader must leave the
// scratch stack as it was and give a value its writer can write; what it read without error must read back to the
// same value from the writer's text.
#include <cstdint>
#include <vector>

#include "formula/value.h"
#include "fuzz/fuzz_input.h"
#include "integer/integer_text.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "numeric/real_text.h"

namespace {

constexpr size_t kMaxTextChars = 400;
constexpr int kCapacity = kRingTextCapacity;
char16_t buffer[kCapacity + 1];

std::u16string written(int n) {
    return std::u16string(buffer, static_cast<size_t>(n));
}

void check_real(const std::u16string& text) {
    std::vector<uint64_t> x(num_ctx.real_limbs + 1), y(num_ctx.real_limbs + 1);
    num_ctx.error_code = 0;
    real_parse(x.data(), text.c_str(), static_cast<int>(text.size()), kParseAllowGroups);
    bool ok = num_ctx.error_code == 0;
    num_ctx.error_code = 0;
    int n = real_format(buffer, kCapacity, x.data(), 0, 19 * num_ctx.real_limbs);
    FUZZ_CHECK(n >= 0 && n <= kCapacity && num_ctx.error_code == 0, text);
    if (!ok) return;
    std::u16string again = written(n);
    real_parse(y.data(), again.c_str(), n, 0);
    FUZZ_CHECK(num_ctx.error_code == 0, again);
    FUZZ_CHECK(real_compare(x.data(), y.data()) == 0, text);
}

void check_complex(const std::u16string& text) {
    size_t words = 2 * (static_cast<size_t>(num_ctx.real_limbs) + 1);
    std::vector<uint64_t> x(words), y(words);
    num_ctx.error_code = 0;
    complex_parse(x.data(), text.c_str(), static_cast<int>(text.size()), kParseAllowGroups);
    bool ok = num_ctx.error_code == 0;
    num_ctx.error_code = 0;
    int n = complex_format(buffer, kCapacity, x.data(), 0);
    FUZZ_CHECK(n >= 0 && n <= kCapacity && num_ctx.error_code == 0, text);
    if (!ok) return;
    std::u16string again = written(n);
    complex_parse(y.data(), again.c_str(), n, 0);
    FUZZ_CHECK(num_ctx.error_code == 0, again);
    FUZZ_CHECK(real_compare(x.data(), y.data()) == 0, text);
    FUZZ_CHECK(real_compare(complex_imag(x.data()), complex_imag(y.data())) == 0, text);
}

void check_rational(const std::u16string& text) {
    std::vector<uint64_t> x(num_ctx.real_limbs + 1), y(num_ctx.real_limbs + 1);
    num_ctx.error_code = 0;
    rational_from_text(x.data(), text.c_str(), static_cast<int>(text.size()));
    bool ok = num_ctx.error_code == 0;
    num_ctx.error_code = 0;
    int n = rational_to_text(buffer, kCapacity, x.data(), 0);
    FUZZ_CHECK(n >= 0 && n <= kCapacity && num_ctx.error_code == 0, text);
    if (!ok) return;
    std::u16string again = written(n);
    rational_from_text(y.data(), again.c_str(), n);
    FUZZ_CHECK(num_ctx.error_code == 0, again);
    FUZZ_CHECK(rational_compare(x.data(), y.data()) == 0, text);
    FUZZ_CHECK(num_ctx.error_code == 0, text);
}

void check_bigint(const std::u16string& text, uint8_t mode) {
    static const int kBases[] = {10, 16, 2, 8, 0, 3, 36, 1};
    int base = kBases[mode & 7];
    uint32_t flags = (mode >> 3) & 3;
    num_ctx.int_limbs = 1 + ((mode >> 5) & 7);
    std::vector<BigInt> x(num_ctx.int_limbs), y(num_ctx.int_limbs);
    num_ctx.error_code = 0;
    bool ok = bigint_from_text(x.data(), text.c_str(), static_cast<int>(text.size()), flags, base);
    FUZZ_CHECK(ok == (num_ctx.error_code == 0), text);
    if (!ok) FUZZ_CHECK(bigint_is_zero(x.data()), text);
    num_ctx.error_code = 0;
    if (base < 2 || base > 16) base = 10;
    int n = bigint_to_text(buffer, kCapacity, x.data(), kIntFmtGroupDigits, base);
    FUZZ_CHECK(n >= 0 && n <= kCapacity && num_ctx.error_code == 0, text);
    if (!ok) return;
    std::u16string again = written(n);
    FUZZ_CHECK(bigint_from_text(y.data(), again.c_str(), n, kIntParseAllowGroups, base), again);
    FUZZ_CHECK(bigint_compare(x.data(), y.data()) == 0, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (init_numeric_context(), true);
    (void)ready;
    if (size < 2) return 0;
    num_ctx.real_limbs = 1 + data[0] % 24;
    num_ctx.number_type = kTypeRational;
    std::u16string text = fuzz_text(data + 2, size - 2, kMaxTextChars);
    uint8_t* scratch = num_ctx.scratch_top;
    int32_t int_limbs = num_ctx.int_limbs;

    check_real(text);
    check_complex(text);
    check_rational(text);
    FUZZ_CHECK(num_ctx.int_limbs == int_limbs, text);
    check_bigint(text, data[1]);

    FUZZ_CHECK(num_ctx.scratch_top == scratch, text);
    FUZZ_CHECK(num_ctx.guard_limbs == 0, text);
    num_ctx.error_code = 0;
    return 0;
}
