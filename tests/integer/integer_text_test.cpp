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

namespace {

using Words = std::vector<uint64_t>;

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::string narrow(const char16_t* s, int n) {
    return std::string(s, s + n);
}

mpz_class to_mpz(const Words& w) {
    mpz_class v;
    mpz_import(v.get_mpz_t(), w.size(), -1, 8, 0, 0, w.data());
    return v;
}

Words to_words(const mpz_class& v, int w) {
    Words out(w, 0);
    mpz_export(out.data(), nullptr, -1, 8, 0, 0, v.get_mpz_t());
    return out;
}

// Sets the width, clears the error and remembers the scratch top that every call must leave unchanged.
struct Context {
    uint8_t* top;
    explicit Context(int w) {
        static const bool initialised = (init_numeric_context(), true);
        (void)initialised;
        num_ctx.int_limbs = w;
        num_ctx.error_code = 0;
        top = num_ctx.scratch_top;
    }
    ~Context() {
        EXPECT_EQ(num_ctx.scratch_top, top) << "scratch stack not restored";
        num_ctx.error_code = 0;
    }
};

// Inserts sep between groups of `size` digits counted from the right of the digit string.
std::string grouped(const std::string& digits, int size, char sep) {
    std::string out;
    const int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % size == 0) out.push_back(sep);
        out.push_back(digits[static_cast<size_t>(i)]);
    }
    return out;
}

// ---- Reading and writing rules ---------------------------------------------------------------------------------

// At width 1 (64 bits); value is decimal and ignored when error != 0.
TEST(BigIntFromText, FollowsTheReadingRules) {
    // clang-format off
    const struct { const char* text; uint32_t flags; int base; const char* value; uint32_t error; } rows[] = {
        {"123", 0, 10, "123", 0}, {"  +42  ", 0, 10, "42", 0}, {"0", 0, 0, "0", 0}, {"007", 0, 10, "7", 0},
        {"++1", 0, 10, "", 21},        {"1+", 0, 10, "", 21},         {"-1", 0, 10, "", 21},      {"+", 0, 10, "", 21},
        {"", 0, 10, "", 21},           {"    ", 0, 10, "", 21},       {"1 2", 0, 10, "", 21},     {"A", 0, 10, "", 21},
        {"12'345", 1, 10, "12345", 0}, {"12'345", 0, 10, "", 21}, {"1''2", 1, 10, "", 21}, {"'12", 1, 10, "", 21},
        {"12'", 1, 10, "", 21}, {"+'1", 1, 10, "", 21}, {"1'a", 1, 16, "", 21}, {"1'a", 3, 16, "26", 0},
        {"ff", 0, 16, "", 21},         {"ff", 2, 16, "255", 0},       {"FF", 0, 16, "255", 0},    {"19", 0, 8, "", 21},
        {"1'9", 1, 8, "", 21},         {"101", 0, 2, "5", 0},         {"12", 0, 1, "", 14},       {"12", 0, 17, "", 14},
        {"FFFF'FFFF'FFFF'FFFF", 1, 16, "18446744073709551615", 0},   {"1'0000'0000'0000'0000", 1, 16, "", 12},
        {"18446744073709551615", 0, 10, "18446744073709551615", 0},  {"18446744073709551616", 0, 10, "", 12},
        {"99999999999999999999x", 0, 10, "", 12},                     {"1x99999999999999999999", 0, 10, "", 21},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(1);
        Words r(1, 77);
        const std::u16string text = u16(c.text);
        const bool ok = bigint_from_text(r.data(), text.c_str(), -1, c.flags, c.base);
        EXPECT_EQ(num_ctx.error_code, c.error) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(ok, c.error == 0) << c.text;
        EXPECT_EQ(to_mpz(r).get_str(), c.error == 0 ? c.value : "0") << c.text;
    }
}

// An explicit length reads past a zero character; a pending error wins over the call's own, which still gives 0.
TEST(BigIntFromText, ExplicitLengthAndPendingError) {
    Context ctx(2);
    const char16_t text[] = {u'1', 0, u'2'};
    Words r(2, 5);
    EXPECT_FALSE(bigint_from_text(r.data(), text, 3, 0, 10));
    EXPECT_EQ(num_ctx.error_code, 21u);
    num_ctx.error_code = 0;
    EXPECT_TRUE(bigint_from_text(r.data(), text, 1, 0, 10));
    EXPECT_EQ(r[0], 1u);
    num_ctx.error_code = 13;
    EXPECT_FALSE(bigint_from_text(r.data(), u"12z", -1, 0, 10));
    EXPECT_EQ(to_mpz(r).get_str(), "0");
    EXPECT_TRUE(bigint_from_text(r.data(), u"4711", -1, 0, 10));
    EXPECT_EQ(to_mpz(r).get_str(), "4711");
    EXPECT_EQ(num_ctx.error_code, 13u);
}

// Nothing is written at or past the capacity.
TEST(BigIntToText, WritesTheDocumentedForms) {
    constexpr uint32_t G = kIntFmtGroupDigits;
    // clang-format off
    const struct { const char* value; uint32_t flags; int base, capacity; uint32_t pending; const char* text;
                   uint32_t error; } rows[] = {  // error: the code after the call
        {"1234567", G, 10, 100, 0, "1'234'567", 0},  {"123456", G, 10, 100, 0, "123'456", 0},
        {"74565", G, 16, 100, 0, "1'2345", 0},       {"255", G, 2, 100, 0, "1111'1111", 0},
        {"0", G, 10, 100, 0, "0", 0},                {"0", 0, 0, 1, 0, "0", 0},
        {"18446744073709551615", 0, 16, 100, 0, "FFFFFFFFFFFFFFFF", 0},
        {"12345", 0, 10, 2, 0, "", 20},              {"12", 0, 10, 2, 0, "12", 0},
        {"12345", 0, 10, 4, 0, "[!]", 20},           {"12345", 0, 10, 5, 0, "12345", 0},
        {"1234", G, 10, 4, 0, "[!]", 20},            {"123", 0, 10, 100, 13, "!123", 13},
        {"123", 0, 10, 3, 13, "[!]", 13},            {"123", 0, 10, 4, 13, "!123", 13},
        {"123", 0, 17, 100, 0, "[!]", 14},           {"123", 0, 1, 2, 0, "", 14},
    };
    // clang-format on
    for (const auto& c : rows) {
        Context ctx(1);
        Words v = to_words(mpz_class(c.value), 1);
        num_ctx.error_code = c.pending;
        std::vector<char16_t> buffer(static_cast<size_t>(c.capacity) + 4, u'#');
        const int n = bigint_to_text(buffer.data(), c.capacity, v.data(), c.flags, c.base);
        EXPECT_EQ(narrow(buffer.data(), n), c.text) << c.value << " base " << c.base << " cap " << c.capacity;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.value;
        EXPECT_EQ(narrow(buffer.data() + c.capacity, 4), "####") << "wrote past the capacity for " << c.value;
    }
}

// The ring buffers rotate and hold 20099 characters: 1250 limbs in base 16 (20000 digits) fit, 2000 limbs in
// base 2 (128000 digits) give the marker.
TEST(BigIntToText, RingBuffersRotateAndBoundTheLongestTexts) {
    {
        Context ctx(2);
        Words v(2, ~0ull);
        char16_t* first = bigint_to_ring(v.data(), kIntFmtGroupDigits, 10);
        EXPECT_EQ(std::u16string(first), u"340'282'366'920'938'463'463'374'607'431'768'211'455");
        char16_t* second = bigint_to_ring(v.data(), 0, 16);
        EXPECT_NE(first, second);
        EXPECT_EQ(std::u16string(second), std::u16string(32, u'F'));
    }
    {
        Context ctx(1250);
        Words v(1250, ~0ull);
        EXPECT_EQ(std::u16string(bigint_to_ring(v.data(), 0, 16)), std::u16string(20000, u'F'));
        EXPECT_EQ(num_ctx.error_code, 0u);
    }
    Context ctx(2000);
    Words v(2000, ~0ull);
    EXPECT_EQ(std::u16string(bigint_to_ring(v.data(), 0, 2)), u"[!]");
    EXPECT_EQ(num_ctx.error_code, 20u);
}

// ---- Round trips against GMP -----------------------------------------------------------------------------------

// Our text equals GMP's (upper case, grouped by 3 in base 10 and 4 otherwise); GMP's lower-case text and ours read
// back to the value; one character less than needed gives the marker and error 20.
TEST(BigIntTextRoundTrip, EveryBaseWithAndWithoutGroupsMatchesGmp) {
    std::mt19937_64 rng(20261206);
    for (int w : {1, 2, 5, 40}) {
        for (int it = 0; it < (w <= 5 ? 120 : 20); ++it) {
            Words words(w, 0);
            const int n = static_cast<int>(rng() % static_cast<uint64_t>(w + 1)), style = static_cast<int>(rng() % 4);
            for (int i = 0; i < n; ++i) words[i] = style == 0 ? ~0ull : (style == 1 ? rng() % 10 : rng());
            if (n > 0 && rng() % 3 == 0) words[n - 1] >>= rng() % 64;
            const mpz_class v = to_mpz(words);
            for (int base = 2; base <= 16; ++base) {
                for (bool group : {false, true}) {
                    Context ctx(w);
                    const uint32_t write_flags = group ? uint32_t{kIntFmtGroupDigits} : 0u;
                    std::string digits = v.get_str(base), lower = group ? grouped(digits, 3, '\'') : digits;
                    for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                    const std::string expected = group ? grouped(digits, base == 10 ? 3 : 4, '\'') : digits;
                    std::vector<char16_t> buffer(expected.size() + 8);
                    const int len =
                        bigint_to_text(buffer.data(), static_cast<int>(buffer.size()), words.data(), write_flags, base);
                    ASSERT_EQ(narrow(buffer.data(), len), expected) << v.get_str(16) << " base " << base;
                    ASSERT_EQ(num_ctx.error_code, 0u);

                    const uint32_t read_flags = kIntParseLowerDigits | (group ? kIntParseAllowGroups : 0u);
                    Words back(w, 0xdead);
                    ASSERT_TRUE(bigint_from_text(back.data(), u16(lower).c_str(), -1, read_flags, base)) << lower;
                    ASSERT_EQ(back, words) << lower << " base " << base;
                    ASSERT_TRUE(bigint_from_text(back.data(), buffer.data(), len, kIntParseAllowGroups, base));
                    ASSERT_EQ(back, words) << expected;

                    const int short_capacity = static_cast<int>(expected.size()) - 1;
                    ASSERT_EQ(bigint_to_text(buffer.data(), short_capacity, words.data(), write_flags, base),
                              short_capacity >= 3 ? 3 : 0)
                        << expected;
                    ASSERT_EQ(num_ctx.error_code, 20u);
                }
            }
        }
    }
}

// 2^(64W) - 1 is read; 2^(64W) and a little more raise 12 and give 0.
TEST(BigIntTextRoundTrip, ValuesOneBeyondTheWidthOverflow) {
    std::mt19937_64 rng(7);
    for (int w : {1, 3, 17}) {
        for (int base : {2, 7, 10, 16}) {
            Context ctx(w);
            const mpz_class limit = mpz_class(1) << (64 * w);
            const mpz_class over = limit + mpz_class(static_cast<unsigned long>(rng() % 1000));
            Words r(w, 1);
            EXPECT_FALSE(bigint_from_text(r.data(), u16(over.get_str(base)).c_str(), -1, kIntParseLowerDigits, base));
            EXPECT_EQ(num_ctx.error_code, 12u) << "w=" << w << " base " << base;
            EXPECT_EQ(to_mpz(r).get_str(), "0");
            num_ctx.error_code = 0;
            const mpz_class max = limit - 1;
            EXPECT_TRUE(bigint_from_text(r.data(), u16(max.get_str(base)).c_str(), -1, kIntParseLowerDigits, base));
            EXPECT_EQ(to_mpz(r).get_str(), max.get_str());
        }
    }
}

}  // namespace
