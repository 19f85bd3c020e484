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
    std::string out;
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>(s[i]));
    return out;
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
        static bool initialised = false;
        if (!initialised) init_numeric_context();
        initialised = true;
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

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// ---- Reading ---------------------------------------------------------------------------------------------------

struct ReadCase {
    const char* text;
    uint32_t flags;
    int base;
    const char* value;  // decimal; ignored when error != 0
    uint32_t error;
};

// Width 1 (64 bits).
const ReadCase kReadCases[] = {
    {"123", 0, 10, "123", 0},
    {"  +42  ", 0, 10, "42", 0},
    {"0", 0, 0, "0", 0},
    {"007", 0, 10, "7", 0},
    {"++1", 0, 10, "", 21},
    {"1+", 0, 10, "", 21},
    {"-1", 0, 10, "", 21},
    {"+", 0, 10, "", 21},
    {"", 0, 10, "", 21},
    {"    ", 0, 10, "", 21},
    {"1 2", 0, 10, "", 21},
    {"12'345", 1, 10, "12345", 0},
    {"12'345", 0, 10, "", 21},
    {"1''2", 1, 10, "", 21},
    {"'12", 1, 10, "", 21},
    {"12'", 1, 10, "", 21},
    {"+'1", 1, 10, "", 21},
    {"1'a", 1, 16, "", 21},
    {"1'a", 3, 16, "26", 0},
    {"ff", 0, 16, "", 21},
    {"ff", 2, 16, "255", 0},
    {"FF", 0, 16, "255", 0},
    {"FFFF'FFFF'FFFF'FFFF", 1, 16, "18446744073709551615", 0},
    {"1'0000'0000'0000'0000", 1, 16, "", 12},
    {"19", 0, 8, "", 21},
    {"1'9", 1, 8, "", 21},
    {"A", 0, 10, "", 21},
    {"101", 0, 2, "5", 0},
    {"12", 0, 1, "", 14},
    {"12", 0, 17, "", 14},
    {"18446744073709551615", 0, 10, "18446744073709551615", 0},
    {"18446744073709551616", 0, 10, "", 12},
    {"99999999999999999999x", 0, 10, "", 12},
    {"1x99999999999999999999", 0, 10, "", 21},
};

TEST(BigIntFromText, FollowsTheReadingRules) {
    for (const auto& c : kReadCases) {
        Context ctx(1);
        Words r(1, 77);
        const std::u16string text = u16(c.text);
        const bool ok = bigint_from_text(r.data(), text.c_str(), -1, c.flags, c.base);
        EXPECT_EQ(num_ctx.error_code, c.error) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(ok, c.error == 0) << c.text;
        const std::string expected = c.error == 0 ? c.value : "0";
        EXPECT_EQ(to_mpz(r).get_str(), expected) << c.text;
    }
}

TEST(BigIntFromText, EmbeddedTerminatorIsInvalidWithAnExplicitLength) {
    Context ctx(1);
    const char16_t text[] = {u'1', 0, u'2'};
    Words r(1);
    EXPECT_FALSE(bigint_from_text(r.data(), text, 3, 0, 10));
    EXPECT_EQ(num_ctx.error_code, 21u);
    num_ctx.error_code = 0;
    EXPECT_TRUE(bigint_from_text(r.data(), text, 1, 0, 10));
    EXPECT_EQ(r[0], 1u);
}

TEST(BigIntFromText, PendingErrorWinsAndTheResultIsZero) {
    Context ctx(2);
    num_ctx.error_code = 13;
    Words r(2, 5);
    const std::u16string bad = u"12z";
    EXPECT_FALSE(bigint_from_text(r.data(), bad.c_str(), -1, 0, 10));
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(to_mpz(r).get_str(), "0");
    const std::u16string good = u"4711";
    EXPECT_TRUE(bigint_from_text(r.data(), good.c_str(), -1, 0, 10));
    EXPECT_EQ(num_ctx.error_code, 13u);
    EXPECT_EQ(to_mpz(r).get_str(), "4711");
}

// ---- Writing ---------------------------------------------------------------------------------------------------

struct WriteCase {
    const char* value;  // decimal
    uint32_t flags;
    int base;
    int capacity;
    uint32_t pending;
    const char* text;
    uint32_t error;  // code after the call
};

const WriteCase kWriteCases[] = {
    {"1234567", kIntFmtGroupDigits, 10, 100, 0, "1'234'567", 0},
    {"123456", kIntFmtGroupDigits, 10, 100, 0, "123'456", 0},
    {"74565", kIntFmtGroupDigits, 16, 100, 0, "1'2345", 0},  // 0x12345
    {"74565", 0, 16, 100, 0, "12345", 0},
    {"255", kIntFmtGroupDigits, 2, 100, 0, "1111'1111", 0},
    {"0", kIntFmtGroupDigits, 10, 100, 0, "0", 0},
    {"0", 0, 0, 1, 0, "0", 0},
    {"18446744073709551615", 0, 16, 100, 0, "FFFFFFFFFFFFFFFF", 0},
    {"12345", 0, 10, 2, 0, "", 20},
    {"12", 0, 10, 2, 0, "12", 0},
    {"12345", 0, 10, 4, 0, "[!]", 20},
    {"12345", 0, 10, 5, 0, "12345", 0},
    {"1234", kIntFmtGroupDigits, 10, 4, 0, "[!]", 20},
    {"123", 0, 10, 100, 13, "!123", 13},
    {"123", 0, 10, 3, 13, "[!]", 13},
    {"123", 0, 10, 4, 13, "!123", 13},
    {"123", 0, 17, 100, 0, "[!]", 14},
    {"123", 0, 1, 2, 0, "", 14},
};

TEST(BigIntToText, WritesTheDocumentedForms) {
    for (const auto& c : kWriteCases) {
        Context ctx(1);
        Words v = to_words(mpz_class(c.value), 1);
        num_ctx.error_code = c.pending;
        std::vector<char16_t> buffer(static_cast<size_t>(c.capacity) + 4, u'#');
        const int n = bigint_to_text(buffer.data(), c.capacity, v.data(), c.flags, c.base);
        EXPECT_EQ(narrow(buffer.data(), n), c.text) << c.value << " base " << c.base << " cap " << c.capacity;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.value;
        for (size_t i = static_cast<size_t>(c.capacity); i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], u'#') << "wrote past the capacity for " << c.value;
    }
}

TEST(BigIntToText, RingVariantTerminatesAndRotates) {
    Context ctx(2);
    Words v = to_words(mpz_class("340282366920938463463374607431768211455"), 2);
    char16_t* first = bigint_to_ring(v.data(), kIntFmtGroupDigits, 10);
    EXPECT_EQ(std::u16string(first), u"340'282'366'920'938'463'463'374'607'431'768'211'455");
    char16_t* second = bigint_to_ring(v.data(), 0, 16);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::u16string(second), u"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
}

TEST(BigIntToText, RingCapacityBoundsTheLongestTexts) {
    // 2000 limbs in base 2 are 128000 digits: too long for a ring buffer, so the marker appears. 1250 limbs in
    // base 16 are 20000 digits and fit the 20099 characters.
    {
        Context ctx(2000);
        Words v(2000, ~0ull);
        EXPECT_EQ(std::u16string(bigint_to_ring(v.data(), 0, 2)), u"[!]");
        EXPECT_EQ(num_ctx.error_code, 20u);
    }
    Context ctx(1250);
    Words v(1250, ~0ull);
    const std::u16string hex = bigint_to_ring(v.data(), 0, 16);
    EXPECT_EQ(num_ctx.error_code, 0u);
    ASSERT_EQ(hex.size(), 20000u);
    EXPECT_EQ(hex.find_first_not_of(u'F'), std::u16string::npos);
}

// ---- Round trips against GMP -----------------------------------------------------------------------------------

mpz_class random_value(std::mt19937_64& rng, int w) {
    const int words = static_cast<int>(rng() % static_cast<uint64_t>(w + 1));
    Words out(w, 0);
    const int style = static_cast<int>(rng() % 4);
    for (int i = 0; i < words; ++i) out[i] = style == 0 ? ~0ull : (style == 1 ? rng() % 10 : rng());
    if (words > 0 && rng() % 3 == 0) out[words - 1] >>= rng() % 64;
    return to_mpz(out);
}

TEST(BigIntTextRoundTrip, EveryBaseWithAndWithoutGroupsMatchesGmp) {
    std::mt19937_64 rng(20261206);
    for (int w : {1, 2, 5, 40}) {
        const int iterations = w <= 5 ? 120 : 20;
        for (int it = 0; it < iterations; ++it) {
            const mpz_class v = random_value(rng, w);
            for (int base = 2; base <= 16; ++base) {
                for (bool group : {false, true}) {
                    Context ctx(w);
                    const uint32_t write_flags = group ? uint32_t{kIntFmtGroupDigits} : 0u;
                    const uint32_t read_flags = group ? uint32_t{kIntParseAllowGroups} : 0u;
                    const Words words = to_words(v, w);
                    const std::string digits = upper(v.get_str(base));
                    const std::string expected = group ? grouped(digits, base == 10 ? 3 : 4, '\'') : digits;
                    std::vector<char16_t> buffer(expected.size() + 8);
                    const int n =
                        bigint_to_text(buffer.data(), static_cast<int>(buffer.size()), words.data(), write_flags, base);
                    ASSERT_EQ(narrow(buffer.data(), n), expected) << v.get_str(16) << " base " << base;
                    ASSERT_EQ(num_ctx.error_code, 0u);

                    // Read back GMP's own text (lower case, optionally grouped) and our text.
                    std::string lower = v.get_str(base);
                    if (group) lower = grouped(lower, 3, '\'');
                    const std::u16string text = u16(lower);
                    Words back(w, 0xdead);
                    ASSERT_TRUE(
                        bigint_from_text(back.data(), text.c_str(), -1, kIntParseLowerDigits | read_flags, base))
                        << lower << " base " << base;
                    ASSERT_EQ(back, words) << lower;
                    ASSERT_TRUE(bigint_from_text(back.data(), buffer.data(), n, kIntParseAllowGroups, base));
                    ASSERT_EQ(back, words) << expected;

                    // One character less than needed gives the marker and error 20.
                    const int short_capacity = static_cast<int>(expected.size()) - 1;
                    const int m = bigint_to_text(buffer.data(), short_capacity, words.data(), write_flags, base);
                    ASSERT_EQ(m, short_capacity >= 3 ? 3 : 0) << expected;
                    ASSERT_EQ(num_ctx.error_code, 20u);
                }
            }
        }
    }
}

TEST(BigIntTextRoundTrip, ValuesOneBeyondTheWidthOverflow) {
    std::mt19937_64 rng(7);
    for (int w : {1, 3, 17}) {
        for (int base : {2, 7, 10, 16}) {
            Context ctx(w);
            mpz_class limit = 1;
            limit <<= 64 * w;
            const mpz_class over = limit + mpz_class(static_cast<unsigned long>(rng() % 1000));
            const std::u16string text = u16(over.get_str(base));
            Words r(w, 1);
            EXPECT_FALSE(bigint_from_text(r.data(), text.c_str(), -1, kIntParseLowerDigits, base));
            EXPECT_EQ(num_ctx.error_code, 12u) << "w=" << w << " base " << base;
            EXPECT_EQ(to_mpz(r).get_str(), "0");
            num_ctx.error_code = 0;
            const mpz_class max_value = limit - 1;
            const std::u16string max = u16(max_value.get_str(base));
            EXPECT_TRUE(bigint_from_text(r.data(), max.c_str(), -1, kIntParseLowerDigits, base));
            EXPECT_EQ(to_mpz(r).get_str(), max_value.get_str());
        }
    }
}

}  // namespace
