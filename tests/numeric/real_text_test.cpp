// Number text: grammar and forms of real and complex numbers as tables, and rounding both ways against GMP.
#include "numeric/real_text.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_arith.h"

namespace {

using Words = std::vector<uint64_t>;
constexpr uint64_t kE18 = kLimbBase / 10;

std::string narrow(const char16_t* p, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += p[i] < 128 ? static_cast<char>(p[i]) : '?';
    return s;
}
Words parse(const std::string& text, uint32_t flags = 0) {
    Words x(num_ctx.real_limbs + 1, 0xDEADull);
    const std::u16string t(text.begin(), text.end());
    real_parse(x.data(), t.data(), static_cast<int>(t.size()), flags);
    return x;
}

// Writes x into a buffer of `capacity` units followed by sentinels that must survive.
std::string format(const Words& x, uint32_t flags, int capacity = 40000) {
    std::u16string buffer(capacity + 8, u'#');
    const int n = real_format(buffer.data(), capacity, x.data(), flags, 19 * num_ctx.real_limbs);
    EXPECT_EQ(buffer.substr(capacity), u"########") << "written past the capacity";
    return narrow(buffer.data(), n);
}
Words make_real(int64_t e, bool negative, const Words& limbs) {
    Words x{static_cast<uint64_t>(e) * 2 + (negative ? 1 : 0)};
    x.insert(x.end(), limbs.begin(), limbs.end());
    return x;
}

// A random normalised value of L limbs with exponent e; kinds of limbs: uniform, all nines, and zero.
Words random_real(std::mt19937_64& rng, int limbs, int64_t e, bool with_zero_limbs) {
    Words x = make_real(e, rng() % 2, {});
    for (int i = 0; i < limbs; ++i) {
        const uint64_t kind = rng() % (with_zero_limbs ? 4 : 3);
        x.push_back(kind == 0 ? kLimbBase - 1 : kind == 3 ? 0 : rng() % kLimbBase);
    }
    x[1] = kE18 + x[1] % (kLimbBase - kE18);
    return x;
}
std::string digits_of(const Words& x) {  // the 19*L mantissa digits
    std::string s;
    for (size_t i = 1; i < x.size(); ++i) s += std::to_string(x[i]).insert(0, 19 - std::to_string(x[i]).size(), '0');
    return s;
}

class RealText : public ::testing::Test {
  protected:
    void SetUp() override {
        init_numeric_context();
        saved_ = num_ctx;
        num_ctx.error_code = 0;
        num_ctx.real_limbs = 1;
    }
    void TearDown() override {
        EXPECT_EQ(num_ctx.scratch_top, saved_.scratch_top) << "scratch stack not restored";
        EXPECT_EQ(num_ctx.guard_limbs, 0u);
        num_ctx = saved_;  // the character sets, display limits and flags the tests changed
    }
    NumContext saved_;
};

TEST_F(RealText, ParseFollowsTheGrammarAndSaturatesHugeExponents) {
    // clang-format off
    const struct { const char* text; uint32_t flags; uint8_t underflow_is_error; uint32_t error; uint64_t limb0;
                   int64_t exponent; bool negative; } kCases[] = {  // flags 1: digit groups allowed
        {"12.5", 0, 0, 0, 1250000000000000000ull, 1, false}, {"-0.001", 0, 0, 0, kE18, -3, true},
        {"6.02e23", 0, 0, 0, 6020000000000000000ull, 23, false}, {"1E-5", 0, 0, 0, kE18, -5, false},
        {"+7", 0, 0, 0, 7 * kE18, 0, false}, {"  42  ", 0, 0, 0, 4200000000000000000ull, 1, false},
        {"007.50", 0, 0, 0, 7500000000000000000ull, 0, false}, {"1e+03", 0, 0, 0, kE18, 3, false},
        {"2.5e-0", 0, 0, 0, 2500000000000000000ull, 0, false}, {"0e5", 0, 0, 0, 0, 0, false},
        {"-0.000", 0, 0, 0, 0, 0, true}, {"1.5'5", 1, 0, 0, 1550000000000000000ull, 0, false},
        {"1'234'567", 1, 0, 0, 1234567000000000000ull, 6, false},
        {"1e4611686018427387903", 0, 0, 0, kE18, kMaxExponent, false},
        {"0.1e-4611686018427387902", 0, 0, 0, kE18, -kMaxExponent, false},
        {"1e4611686018427387904", 0, 0, kErrOverflow, 0, 0, false},
        {"1e10000000000000000000", 0, 0, kErrOverflow, 0, 0, false},  // fits 64 bits, beyond 9*10^18
        {"1e99999999999999999999999", 0, 0, kErrOverflow, 0, 0, false},
        {"0e99999999999999999999999", 0, 0, kErrOverflow, 0, 0, false},
        {"-1e-4611686018427387904", 0, 0, 0, 0, 0, true}, {"-1e-18446744073709551615", 0, 0, 0, 0, 0, true},
        {"-1e-9000000000000000001", 0, 0, 0, 0, 0, true}, {"-1e-9000000000000000001", 0, 1, kErrUnderflow, 0, 0, false},
        {"1e-9000000000000000000", 0, 1, kErrUnderflow, 0, 0, false}};
    // clang-format on
    const char* const kRejected[] = {".5",  "5.",    "1..2",  "1e",  "e5",   "1 2", "1'000", "",
                                     "   ", "-",     "+-1",   "--1", "1-",   "1e+", "1e5e3", "1.2.3",
                                     "1x",  "1e1.5", "1e-+3", "-.5", "1.e5", "+e5"};
    const char* const kRejectedWithGroups[] = {"1''2", "'12", "12'", "1'.5", "1e'5", "+'12", "1.'5"};
    for (const auto& c : kCases) {
        num_ctx.error_code = 0;
        num_ctx.underflow_is_error = c.underflow_is_error;
        const Words x = parse(c.text, c.flags);
        EXPECT_EQ(num_ctx.error_code, c.error) << c.text;
        EXPECT_EQ(x[1], c.limb0) << c.text;
        EXPECT_EQ(real_exponent(x.data()), c.exponent) << c.text;
        EXPECT_EQ(real_is_negative(x.data()), c.negative) << c.text;
    }
    auto expect_rejected = [](const char* text, uint32_t flags) {
        num_ctx.error_code = 0;
        EXPECT_EQ(parse(text, flags), Words({0, 0})) << text;
        EXPECT_EQ(num_ctx.error_code, kErrNumberText) << text;
    };
    for (const char* text : kRejected) expect_rejected(text, 0);
    for (const char* text : kRejectedWithGroups) expect_rejected(text, kParseAllowGroups);
}

// Long digit strings against GMP: keep 19*L + 1 significant digits, round half up on the last of them.
TEST_F(RealText, ParseRoundsLongDigitStringsLikeTheIntegerOracle) {
    std::mt19937_64 rng(20261206);
    for (int limbs : {1, 2, 3, 5, 11, 40, 527}) {
        num_ctx.real_limbs = limbs;
        const int total = 19 * limbs;
        for (int trial = 0; trial < (limbs > 100 ? 6 : 40); ++trial) {
            const int sig = 1 + static_cast<int>(rng() % (total + 30));
            std::string s(1, static_cast<char>('1' + rng() % 9));
            const int mode = static_cast<int>(rng() % 3);  // runs of 9 and 0 provoke carries and exact halves
            for (int i = 1; i < sig; ++i) s += mode == 0 ? static_cast<char>('0' + rng() % 10) : "90"[mode - 1];
            if (sig > total && rng() % 2) s[total] = static_cast<char>('4' + rng() % 2);
            const std::string full = std::string(rng() % 4, '0') + s;
            const int point = 1 + static_cast<int>(rng() % full.size());  // == size: no point
            const int64_t power = static_cast<int64_t>(rng() % 2001) - 1000;
            std::string text = full.substr(0, point);
            if (point < static_cast<int>(full.size())) text.append(".").append(full.substr(point));
            text.append("e").append(std::to_string(power));

            const std::string kept = s.substr(0, std::min<size_t>(s.size(), total + 1));
            int64_t e = static_cast<int64_t>(s.size()) - 1 + point - static_cast<int64_t>(full.size()) + power;
            std::string expected = static_cast<int>(kept.size()) == total + 1
                                       ? mpz_class((mpz_class(kept) + 5) / 10).get_str()
                                       : kept + std::string(total - kept.size(), '0');
            if (static_cast<int>(expected.size()) > total) {
                expected.resize(total);
                ++e;
            }
            const Words x = parse(text);
            ASSERT_EQ(num_ctx.error_code, 0u) << text;
            EXPECT_EQ(digits_of(x), expected) << "L=" << limbs << " " << text;
            EXPECT_EQ(real_exponent(x.data()), e) << "L=" << limbs << " " << text;
        }
    }
}

// The rounding of kept-zero forms is the integer oracle's business below; the rows hold the choice of form, the
// flags and the dropping of trailing zeros.
TEST_F(RealText, FormatWritesTheDocumentedForms) {
    constexpr uint32_t G = kFmtGroupDigits, F = kFmtFixed, P = kFmtPointZero, S = kFmtScientific;
    // clang-format off
    const struct { const char* value; int limbs; uint32_t flags; const char* text; } kCases[] = {
        {"1234567", 1, G, "1'234'567"}, {"123456", 1, G, "123'456"}, {"1234.5678", 1, G | F | 2, "1'234.57"},
        {"0.001", 1, 0, "0.001"}, {"0.0001", 1, 0, "1e-4"}, {"0.00012", 1, 0, "1.2e-4"}, {"1e10", 1, 0, "1e+10"},
        {"1e10", 1, kFmtNoExponentPlus, "1e10"}, {"999999999", 1, 0, "999999999"},
        {"9999999999.5", 1, 0, "9999999999.5"}, {"12345678901", 1, 0, "1.2345678901e+10"},
        {"0.6666666666666666666", 1, 5, "0.66667"}, {"0.6666666666666666666", 1, F | 2, "0.67"},
        {"9.9999", 1, 4, "10"}, {"99999.5", 1, 5, "100000"}, {"-1.25", 1, 2, "-1.3"}, {"1.2499999", 1, 2, "1.2"},
        {"5", 1, P, "5.0"}, {"1.5", 1, P, "1.5"}, {"1e20", 1, P, "1.0e+20"}, {"-0", 1, 0, "0"},
        {"0", 1, kFmtAlwaysSign, "+0"}, {"2.5", 1, kFmtAlwaysSign, "+2.5"}, {"123.456", 1, S, "1.23456e+2"},
        {"-1.5", 1, S | kFmtAlwaysSign | kFmtNoExponentPlus, "-1.5e0"}, {"0", 1, S, "0e+0"},
        {"0.5", 1, F | 0, "0"},  // E = -(n+1): no digit shown, no rounding
        {"0.96", 1, F | 1, "1"}, {"0.001234", 1, F | 2, "0"}, {"0.001234", 1, F | 4, "0.0012"},
        {"-0.001", 1, F | 1, "-0"}, {"12345678901.25", 1, F | 1, "12345678901.3"},
        {"1e25", 1, F | 2, "1e+25"},  // fixed form turns scientific at E >= 19*L
        {"1e4611686018427387903", 1, 0, "1e+4611686018427387903"},
        {"-1e-4611686018427387903", 1, 0, "-1e-4611686018427387903"},
        {"12345678901234567890123", 2, 0, "1.2345678901234567890123e+22"},
        {"0.1000000000000000000000000000000000001", 2, 0, "0.1000000000000000000000000000000000001"}};
    // clang-format on
    for (const auto& c : kCases) {
        num_ctx.real_limbs = c.limbs;
        num_ctx.error_code = 0;
        EXPECT_EQ(format(parse(c.value), c.flags), c.text) << c.value << " flags " << std::hex << c.flags;
        EXPECT_EQ(num_ctx.error_code, 0u) << c.value;
    }
    num_ctx.min_plain_exponent = -1000;
    num_ctx.display_digits = 10000;
    EXPECT_EQ(format(parse("1e-7"), 0), "0.0000001");
    EXPECT_EQ(format(parse("1.5e12"), 0), "1500000000000");
    num_ctx.no_rounding = 1;
    EXPECT_EQ(format(parse("1.29"), 2), "1.2");
}

TEST_F(RealText, FormatMarksMalformedNumbersPendingErrorsAndMissingRoom) {
    const Words kMalformed[] = {
        make_real(0, false, {5}),                     // not normalised
        make_real(0, false, {kLimbBase}),             // limb out of range
        make_real(-kMaxExponent - 1, false, {kE18}),  // exponent field -2^62
        make_real(3, false, {0}),                     // zero with an exponent
    };
    for (const auto& x : kMalformed) {
        EXPECT_EQ(format(x, 0), "???");
        EXPECT_EQ(format(x, kFmtAlwaysSign), "+???");
    }
    num_ctx.real_limbs = 2;
    EXPECT_EQ(format(make_real(0, false, {0, 7}), 0), "???");
    num_ctx.real_limbs = 1;
    EXPECT_EQ(num_ctx.error_code, 0u);
    num_ctx.error_code = kErrDivByZero;
    EXPECT_EQ(format(make_real(0, false, {5}), 0), "!???");
    EXPECT_EQ(format(parse("12.5"), 0), "!12.5");
    EXPECT_EQ(num_ctx.error_code, kErrDivByZero);

    // clang-format off
    const struct { uint32_t pending; int capacity; const char* text; uint32_t error; } kRoom[] = {
        {0, 0, "", kErrTextBuffer}, {0, 2, "", kErrTextBuffer}, {0, 4, "[!]", kErrTextBuffer}, {0, 5, "12345", 0},
        {kErrDomain, 5, "[!]", kErrDomain}, {kErrDomain, 6, "!12345", kErrDomain}};
    // clang-format on
    for (const auto& c : kRoom) {
        num_ctx.error_code = c.pending;
        EXPECT_EQ(format(parse("12345"), 0, c.capacity), c.text) << c.capacity;
        EXPECT_EQ(num_ctx.error_code, c.error) << c.capacity;
    }
}

// Fixed and scientific forms with kept zeros against the rounding rule on GMP integers, at exponents near 0 and at
// both ends of the range; a text with every digit, and the grouped and signed default form, read back the same.
TEST_F(RealText, FormatRoundingMatchesTheIntegerOracleAndReadsBack) {
    std::mt19937_64 rng(7);
    for (int trial = 0; trial < 400; ++trial) {
        const int limbs = trial % 40 == 0 ? 527 - trial / 40 % 2 : 1 + static_cast<int>(rng() % 6);
        num_ctx.real_limbs = limbs;
        const int total = 19 * limbs;
        const bool fixed = rng() % 2;
        int64_t e = static_cast<int64_t>(rng() % 41) - 20;
        if (trial % 8 == 1) e = (trial % 16 == 1 ? 1 : -1) * (kMaxExponent - static_cast<int64_t>(rng() % 3));
        if (fixed && e >= total) e = total - 1;                      // the fixed form stays plain below 19*L
        const Words x = random_real(rng, limbs, e, trial % 2 == 0);  // zero limbs: trailing zeros
        const int n = 1 + static_cast<int>(rng() % (total + 5));
        mpz_class m(digits_of(x)), unit;  // unit: 10^(dropped digits - 1), the first dropped digit decides
        // fixed: n decimals, i.e. e + n + 1 digits (none below 0); otherwise n significant digits
        const int64_t shown = fixed ? std::clamp<int64_t>(e + n + 1, 0, total) : std::min(n, total);
        mpz_ui_pow_ui(unit.get_mpz_t(), 10, static_cast<unsigned long>(std::max<int64_t>(total - shown - 1, 0)));
        if (shown >= 1 && shown < total) m = (m / unit + 5) / 10;
        std::string d = shown == 0 ? "0" : m.get_str();
        std::string expected = real_is_negative(x.data()) ? "-" : "";
        if (fixed) {
            if (shown == total) d += std::string(std::max<int64_t>(0, n - (total - e - 1)), '0');
            if (static_cast<int64_t>(d.size()) < n + 1) d = std::string(n + 1 - d.size(), '0') + d;
            expected.append(d.substr(0, d.size() - n)).append(".").append(d.substr(d.size() - n));
        } else {
            if (static_cast<int64_t>(d.size()) > shown) ++e;  // carry out of the first digit
            d.resize(shown);
            d += std::string(n > total ? n - total : 0, '0');
            expected.append(d.substr(0, 1)).append(d.size() > 1 ? "." : "").append(d.substr(1));
            expected.append(e >= 0 ? "e+" : "e").append(std::to_string(e));
        }
        const std::string what = "L=" + std::to_string(limbs) + " n=" + std::to_string(n) +
                                 " E=" + std::to_string(real_exponent(x.data())) + " digits " + digits_of(x);
        const uint32_t flags = kFmtKeepZeros | static_cast<uint32_t>(n) | (fixed ? kFmtFixed : kFmtScientific);
        EXPECT_EQ(format(x, flags), expected) << what;
        if (shown == total) {
            EXPECT_EQ(parse(expected), x) << what;
        }
        EXPECT_EQ(parse(format(x, kFmtGroupDigits | kFmtAlwaysSign), kParseAllowGroups), x) << what;
    }
    EXPECT_EQ(num_ctx.error_code, 0u);
}

std::string complex_round_trip(const std::string& text, int capacity = 200) {
    Words z(2 * (num_ctx.real_limbs + 1), 0xDEADull);
    const std::u16string t(text.begin(), text.end());
    complex_parse(z.data(), t.data(), static_cast<int>(t.size()), 0);
    std::u16string buffer(capacity + 8, u'#');
    const int n = complex_format(buffer.data(), capacity, z.data(), 0);
    EXPECT_EQ(buffer.substr(capacity), u"########") << "written past the capacity";
    return narrow(buffer.data(), n);
}

TEST_F(RealText, ComplexParseAndFormatTheDocumentedForms) {
    // clang-format off
    const std::pair<const char*, const char*> kCases[] = {  // text, its formatted form; nullptr: rejected
        {"3+4i", "3+4i"}, {"3-i", "3-i"}, {"-2i", "-2i"}, {"i", "i"}, {"+i", "i"}, {"-i", "-i"}, {"2i+3", "3+2i"},
        {"1+(2.5e-30)i", "1+(2.5e-30)i"}, {"(2.5e-30)i", "(2.5e-30)i"}, {"1e5+2i", "100000+2i"},
        {"-2e-3-4e+2i", "-0.002-400i"}, {"  3+4j ", "3+4i"}, {"5", "5"}, {"0i", "0"}, {"1-1i", "1-i"},
        {"-7+0i", "-7"}, {"0+3.5i", "3.5i"}, {"1e20i", "(1e+20)i"}, {"", nullptr}, {"  ", nullptr},
        {"3 + 4i", nullptr}, {"1+2+3i", nullptr}, {"3+4", nullptr}, {"3i+4i", nullptr}, {"()i", nullptr},
        {"3+", nullptr}, {"+", nullptr}, {"3+4x", nullptr}, {"3++4i", nullptr}, {"2i3", nullptr},
        {"1+(2)(3)i", nullptr}};
    // clang-format on
    for (const auto& [text, formatted] : kCases) {
        num_ctx.error_code = 0;
        EXPECT_EQ(complex_round_trip(text), formatted ? formatted : "!0") << text;
        EXPECT_EQ(num_ctx.error_code, formatted ? 0u : kErrNumberText) << text;
    }
    num_ctx.error_code = kErrDivByZero;  // a pending error is kept and marked
    EXPECT_EQ(complex_round_trip("3+4i"), "!3+4i");
    EXPECT_EQ(complex_round_trip("3+"), "!0");
    EXPECT_EQ(num_ctx.error_code, kErrDivByZero);
    for (int capacity : {12, 11, 9}) {  // "1+2.5e-30" fits 9 and 10 units, the parentheses do not
        num_ctx.error_code = 0;
        EXPECT_EQ(complex_round_trip("1+(2.5e-30)i", capacity), capacity == 12 ? "1+(2.5e-30)i" : "[!]") << capacity;
        EXPECT_EQ(num_ctx.error_code, capacity == 12 ? 0u : kErrTextBuffer) << capacity;
    }
    num_ctx.error_code = 0;
    num_ctx.imaginary_chars[0] = u'j';
    num_ctx.imaginary_chars[1] = u'i';
    EXPECT_EQ(complex_round_trip("3+4i"), "3+4j");
}

}  // namespace
