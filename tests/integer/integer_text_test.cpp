// BigInt text conversion: the reading and writing rules as tables, and round trips in every base 2..16 with and
// without digit groups against GMP's own conversion.
#include "integer/integer_text.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "support/gmp_words.h"

namespace {

// ---- Reading and writing rules ---------------------------------------------------------------------------------

// At width 1 (64 bits); value is decimal and ignored when error != 0. An error pending on entry wins over the
// call's own, which still gives 0.
TEST(BigIntFromText, FollowsTheReadingRules) {
    // clang-format off
    const struct { const char* text; uint32_t flags; int base; uint32_t pending; const char* value; uint32_t error; }
    rows[] = {
        {"  +42  ", 0, 10, 0, "42", 0}, {"0", 0, 0, 0, "0", 0}, {"007", 0, 10, 0, "7", 0}, {"++1", 0, 10, 0, "", 21},
        {"1+", 0, 10, 0, "", 21}, {"-1", 0, 10, 0, "", 21}, {"", 0, 10, 0, "", 21}, {"    ", 0, 10, 0, "", 21},
        {"1 2", 0, 10, 0, "", 21}, {"A", 0, 10, 0, "", 21},
        {"12'345", 1, 10, 0, "12345", 0}, {"12'345", 0, 10, 0, "", 21}, {"1''2", 1, 10, 0, "", 21},
        {"'12", 1, 10, 0, "", 21}, {"12'", 1, 10, 0, "", 21}, {"+'1", 1, 10, 0, "", 21}, {"1'a", 1, 16, 0, "", 21},
        {"1'a", 3, 16, 0, "26", 0}, {"ff", 0, 16, 0, "", 21}, {"ff", 2, 16, 0, "255", 0}, {"FF", 0, 16, 0, "255", 0},
        {"19", 0, 8, 0, "", 21}, {"1'9", 1, 8, 0, "", 21}, {"101", 0, 2, 0, "5", 0}, {"12", 0, 1, 0, "", 14},
        {"12", 0, 17, 0, "", 14}, {"FFFF'FFFF'FFFF'FFFF", 1, 16, 0, "18446744073709551615", 0},
        {"1'0000'0000'0000'0000", 1, 16, 0, "", 12}, {"18446744073709551615", 0, 10, 0, "18446744073709551615", 0},
        {"18446744073709551616", 0, 10, 0, "", 12}, {"99999999999999999999x", 0, 10, 0, "", 12},
        {"1x99999999999999999999", 0, 10, 0, "", 21}, {"12z", 0, 10, 13, "", 13}, {"4711", 0, 10, 13, "4711", 13},
    };
    // clang-format on
    for (const auto& c : rows) {
        IntScope scope(1, c.pending);
        Words r(1, 77);
        const bool ok = bigint_from_text(r.data(), u16(c.text).c_str(), -1, c.flags, c.base);
        EXPECT_EQ(num_ctx.error_code, c.error) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(ok, *c.value != 0) << c.text;
        EXPECT_EQ(Z(r).get_str(), *c.value ? c.value : "0") << c.text;
    }
}

// Nothing is written at or past the capacity.
TEST(BigIntToText, WritesTheDocumentedForms) {
    constexpr uint32_t G = kIntFmtGroupDigits;
    // clang-format off
    const struct { uint64_t value; uint32_t flags; int base, capacity; uint32_t pending; const char* text;
                   uint32_t error; } rows[] = {  // error: the code after the call
        {1234567, G, 10, 100, 0, "1'234'567", 0}, {123456, G, 10, 100, 0, "123'456", 0},
        {74565, G, 16, 100, 0, "1'2345", 0}, {255, G, 2, 100, 0, "1111'1111", 0}, {0, G, 10, 100, 0, "0", 0},
        {0, 0, 0, 1, 0, "0", 0}, {~0ull, 0, 16, 100, 0, "FFFFFFFFFFFFFFFF", 0}, {12345, 0, 10, 2, 0, "", 20},
        {12, 0, 10, 2, 0, "12", 0}, {12345, 0, 10, 4, 0, "[!]", 20}, {12345, 0, 10, 5, 0, "12345", 0},
        {1234, G, 10, 4, 0, "[!]", 20}, {123, 0, 10, 100, 13, "!123", 13}, {123, 0, 10, 3, 13, "[!]", 13},
        {123, 0, 10, 4, 13, "!123", 13}, {123, 0, 17, 100, 0, "[!]", 14}, {123, 0, 1, 2, 0, "", 14},
    };
    // clang-format on
    for (const auto& c : rows) {
        IntScope scope(1, c.pending);
        std::u16string buffer(static_cast<size_t>(c.capacity) + 4, u'#');
        const int n = bigint_to_text(buffer.data(), c.capacity, &c.value, c.flags, c.base);
        EXPECT_EQ(buffer.substr(0, n), u16(c.text)) << c.value << " base " << c.base << " cap " << c.capacity;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.value;
        EXPECT_EQ(buffer.substr(c.capacity), u"####") << "wrote past the capacity for " << c.value;
    }
}

// ---- Round trips against GMP -----------------------------------------------------------------------------------

// Our text equals GMP's (upper case, grouped by 3 in base 10 and 4 otherwise) and reads back to the value. At every
// width GMP's lower-case 2^(64W) - 1 is read, and 2^(64W) plus a little raises 12 and gives 0.
TEST(BigIntTextRoundTrip, EveryBaseWithAndWithoutGroupsMatchesGmp) {
    std::mt19937_64 rng(20261206);
    for (int w : {1, 2, 5, 40}) {
        IntScope scope(w);
        const mpz_class limit = mpz_class(1) << (64 * w);
        for (int it = 0; it < (w <= 5 ? 120 : 20); ++it) {
            Words words(w, 0), back(w);
            const int n = static_cast<int>(rng() % static_cast<uint64_t>(w + 1)), style = static_cast<int>(rng() % 4);
            for (int i = 0; i < n; ++i) words[i] = style == 0 ? ~0ull : (style == 1 ? rng() % 10 : rng());
            if (n > 0 && rng() % 3 == 0) words[n - 1] >>= rng() % 64;
            const mpz_class v = Z(words);
            for (int base = 2; base <= 16; ++base) {
                for (uint32_t group : {0u, uint32_t{kIntFmtGroupDigits}}) {
                    std::string digits = v.get_str(base), expected;
                    for (size_t i = 0; i < digits.size(); ++i) {  // upper case, "'" between groups from the right
                        if (group && i > 0 && (digits.size() - i) % (base == 10 ? 3 : 4) == 0) expected += '\'';
                        expected += static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i])));
                    }
                    std::u16string text(expected.size() + 8, u'#');
                    text.resize(static_cast<size_t>(
                        bigint_to_text(text.data(), static_cast<int>(text.size()), words.data(), group, base)));
                    ASSERT_EQ(text, u16(expected)) << v.get_str(16) << " base " << base;
                    ASSERT_TRUE(bigint_from_text(back.data(), text.data(), static_cast<int>(text.size()),
                                                 kIntParseAllowGroups, base));
                    ASSERT_EQ(back, words) << expected << " base " << base;
                }
                if (it > 0) continue;
                for (const mpz_class& x : {mpz_class(limit - 1), mpz_class(limit + rng() % 1000)}) {
                    const bool fits = x < limit;
                    const std::u16string text = u16(x.get_str(base));
                    EXPECT_EQ(bigint_from_text(back.data(), text.c_str(), -1, kIntParseLowerDigits, base), fits);
                    EXPECT_EQ(num_ctx.error_code, fits ? 0u : 12u) << "w=" << w << " base " << base;
                    EXPECT_EQ(Z(back).get_str(), fits ? x.get_str() : "0") << "w=" << w << " base " << base;
                    num_ctx.error_code = 0;
                }
            }
        }
    }
}

}  // namespace
