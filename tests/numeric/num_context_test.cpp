// Numeric context: start-up, the constants against MPFR, guard precision and its rounding, the checked scratch stack.
#include "numeric/num_context.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstring>
#include <string>
#include <vector>

#include "numeric/real_arith.h"

namespace {

constexpr uint64_t kMaxLimb = kLimbBase - 1;
constexpr uint64_t kHalf = kLimbBase / 2;
constexpr uint64_t kOne = kLimbBase / 10;
constexpr int64_t kTop = kMaxExponent;

uint64_t header_of(int64_t exponent, bool negative) {
    return (static_cast<uint64_t>(exponent) << 1) | (negative ? 1u : 0u);
}
// The integer of limbs[0..n-1], base 10^19.
mpz_class mpz_of(const uint64_t* limbs, int n) {
    mpz_class x = 0;
    for (int i = 0; i < n; ++i) x = x * kLimbBase + limbs[i];
    return x;
}

// Saves the context and puts it back, so that the test order does not matter.
class NumContextTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { init_numeric_context(); }
    void SetUp() override {
        saved_ = num_ctx;
        num_ctx.error_code = num_ctx.guard_limbs = num_ctx.guard_digit_reduction = num_ctx.no_rounding = 0;
    }
    void TearDown() override { num_ctx = saved_; }
    NumContext saved_;
};

// Every start-up keeps the installed values, checks the limb count and recomputes the derived constants.
TEST_F(NumContextTest, StartUpChecksTheLimbCount) {
    const int32_t kLimbCounts[][3] = {{0, 528, kErrLimbCount}, {528, 528, kErrLimbCount}, {1000, 528, kErrLimbCount},
                                      {1, 1, kErrNone},        {2, 2, kErrNone},          {527, 527, kErrNone}};
    std::vector<RealNum> before(sizeof(num_ctx.constants) / sizeof(RealNum));
    std::memcpy(before.data(), num_ctx.constants, sizeof(num_ctx.constants));
    for (const auto& c : kLimbCounts) {
        num_ctx.error_code = 0;
        num_ctx.real_limbs = c[0];
        init_numeric_context();
        EXPECT_EQ(num_ctx.real_limbs, c[1]) << "installed " << c[0];
        EXPECT_EQ(num_ctx.error_code, static_cast<uint32_t>(c[2])) << "installed " << c[0];
        EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base) << "the temporary was not given back";
        EXPECT_EQ(std::memcmp(before.data(), num_ctx.constants, sizeof(num_ctx.constants)), 0) << c[0];
    }
}

const RealNum* stored_slot(int index) {
    return index < kStoredConstantCount ? kStoredConstants[index] : num_ctx.constants[index - kStoredConstantCount];
}

// An index outside 0..15 raises 32 and gives +0 unless an older error is pending.
TEST_F(NumContextTest, GetConstantRejectsAnIndexOutsideTheTable) {
    for (const uint32_t pending : {0u, uint32_t{kErrDomain}}) {
        for (int index : {16, -1}) {
            num_ctx.error_code = pending;
            num_ctx.real_limbs = 3;
            RealNum x[4] = {5, 6, 7, 8};
            get_constant(x, index);
            EXPECT_EQ(num_ctx.error_code, pending != 0 ? pending : kErrConstantIndex) << "index " << index;
            for (RealNum w : x) EXPECT_EQ(w, 0u) << "index " << index << " must give +0";
        }
    }
}

// Each slot's value as fn(p / q), inverted when asked, times mul / div, within `units` of the 528th limb: stored
// slots are correctly rounded; a derived one inherits a unit and loses a few in the reciprocal's last Newton step.
enum OracleFn { kLn, kInvLn, kLog10, kAtan, kPi, kInvPi };
const struct {
    int index;
    OracleFn fn;
    unsigned long p, q, mul, div;
    long units;
} kOracleRows[] = {{kConstLn10, kLn, 10, 1, 1, 1, 1},         {kConstLn2, kLn, 2, 1, 1, 1, 1},
                   {kConstLn1_2, kLn, 6, 5, 1, 1, 1},         {kConstLn1_01, kLn, 101, 100, 1, 1, 1},
                   {kConstLn10Div3, kLn, 10, 1, 1, 3, 1},     {kConstLn10Div9, kLn, 10, 1, 1, 9, 1},
                   {kConstPiDiv4, kPi, 0, 1, 1, 4, 1},        {kConstAtan0_2, kAtan, 1, 5, 1, 1, 1},
                   {kConstAtan0_42, kAtan, 42, 100, 1, 1, 1}, {kConstAtan0_67, kAtan, 67, 100, 1, 1, 1},
                   {kConstInvLn10, kInvLn, 10, 1, 1, 1, 5},   {kConstLog10Of2, kLog10, 2, 1, 1, 1, 5},
                   {kConstInvLn2, kInvLn, 2, 1, 1, 1, 5},     {kConst4DivPi, kInvPi, 0, 1, 4, 1, 5},
                   {kConstPiDiv2, kPi, 0, 1, 1, 2, 5}};

TEST_F(NumContextTest, ConstantsAgreeWithMpfrToTheLastLimb) {
    constexpr mpfr_prec_t kOracleBits = 33600;  // about 10114 decimal digits
    mpfr_t value, scaled;
    mpfr_inits2(kOracleBits, value, scaled, static_cast<mpfr_ptr>(nullptr));
    mpz_class expected;
    for (const auto& r : kOracleRows) {
        const RealNum* x = stored_slot(r.index);
        EXPECT_TRUE(x[1] >= kOne && x[1] < kLimbBase && !real_is_negative(x)) << "slot " << r.index << " malformed";
        mpfr_set_ui(value, r.p, MPFR_RNDN);
        mpfr_div_ui(value, value, r.q, MPFR_RNDN);
        if (r.fn == kLn || r.fn == kInvLn) mpfr_log(value, value, MPFR_RNDN);
        if (r.fn == kLog10) mpfr_log10(value, value, MPFR_RNDN);
        if (r.fn == kAtan) mpfr_atan(value, value, MPFR_RNDN);
        if (r.fn == kPi || r.fn == kInvPi) mpfr_const_pi(value, MPFR_RNDN);
        if (r.fn == kInvLn || r.fn == kInvPi) mpfr_ui_div(value, 1, value, MPFR_RNDN);
        mpfr_mul_ui(value, value, r.mul, MPFR_RNDN);
        mpfr_div_ui(value, value, r.div, MPFR_RNDN);
        // round(value * 10^(10031 - E)): the mantissa of a record with the slot's exponent, correctly rounded
        const long shift = kConstantLimbs * 19 - 1 - static_cast<long>(real_exponent(x));
        mpfr_ui_pow_ui(scaled, 10, static_cast<unsigned long>(shift), MPFR_RNDN);  // exact
        mpfr_mul(scaled, scaled, value, MPFR_RNDN);
        mpfr_get_z(expected.get_mpz_t(), scaled, MPFR_RNDN);
        const mpz_class off = mpz_of(x + 1, kConstantLimbs) - expected;
        EXPECT_TRUE(abs(off) <= r.units) << "slot " << r.index << " is off by " << off.get_str();
    }
    for (int i = 0; i <= kConstantLimbs; ++i) ASSERT_EQ(stored_slot(kConstZero)[i], 0u) << "slot 15 word " << i;
    mpfr_clears(value, scaled, static_cast<mpfr_ptr>(nullptr));
}

// 1 to 19 extra digits add one limb; 20 and more raise 14; fewer than one, a second guard, or the calculator's own
// reduction without a guard limb raise 30. A failed call changes nothing.
TEST_F(NumContextTest, BeginGuardAddsOneLimbForOneToNineteenDigits) {
    // clang-format off
    const struct { int extra_digits; uint32_t reduction_before, error, limbs, reduction; } kCases[] = {
        {1, 0, kErrNone, 11, 18}, {19, 0, kErrNone, 11, 0}, {20, 0, kErrDomain, 10, 0}, {0, 0, kErrInternal, 10, 0},
        {2, 17, kErrInternal, 10, 17}};
    // clang-format on
    for (const auto& c : kCases) {
        num_ctx.error_code = 0;
        num_ctx.real_limbs = 10;
        num_ctx.guard_digit_reduction = c.reduction_before;
        for (int call = 0; call < (c.error == 0 ? 2 : 1); ++call) {  // the second call fails with 30
            begin_guard(c.extra_digits + call);
            EXPECT_EQ(num_ctx.error_code, call == 0 ? c.error : kErrInternal) << "k " << c.extra_digits << " " << call;
            EXPECT_EQ(static_cast<uint32_t>(num_ctx.real_limbs), c.limbs) << "k " << c.extra_digits;
            EXPECT_EQ(num_ctx.guard_digit_reduction, c.reduction) << "k " << c.extra_digits;
            EXPECT_EQ(num_ctx.guard_limbs, c.limbs - 10) << "k " << c.extra_digits;
        }
        end_guard();
        EXPECT_EQ(num_ctx.real_limbs, 10) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_limbs + num_ctx.guard_digit_reduction, 0u);
    }
}

// Rounding half up on the guard limb, with a carry through some or all limbs, the sign kept and the exponent raised
// (past the top: 10 and +0); no_rounding truncates.
TEST_F(NumContextTest, NarrowingRoundsHalfUpOnTheGuardLimb) {
    constexpr uint64_t N = kMaxLimb;
    // clang-format off
    const struct { const char* name; int64_t e; bool negative; uint64_t limbs[3], guard; uint8_t no_rounding;
                   int64_t out_e; uint64_t out[3]; uint32_t error;
    } kCases[] = {{"all nines carry into the exponent", 4, false, {N, N, N}, kHalf, 0, 5, {kOne, 0, 0}, kErrNone},
                  {"negative nines keep the sign", -7, true, {N, N, N}, N, 0, -6, {kOne, 0, 0}, kErrNone},
                  {"carry stops in the middle", 2, true, {kOne, 7, N}, 9 * kOne, 0, 2, {kOne, 8, 0}, kErrNone},
                  {"guard just below half", 4, false, {N, N, N}, kHalf - 1, 0, 4, {N, N, N}, kErrNone},
                  {"no_rounding truncates", 4, false, {N, N, N}, N, 1, 4, {N, N, N}, kErrNone},
                  {"carry at the top exponent", kTop, false, {N, N, N}, kHalf, 0, 0, {0, 0, 0}, kErrOverflow}};
    // clang-format on
    for (bool in_place : {false, true}) {
        for (const auto& c : kCases) {
            num_ctx.error_code = 0;
            num_ctx.real_limbs = 3;
            begin_guard(2);
            num_ctx.no_rounding = c.no_rounding;
            RealNum src[5] = {header_of(c.e, c.negative), c.limbs[0], c.limbs[1], c.limbs[2], c.guard};
            RealNum out[5] = {1, 2, 3, 4, 0xDEAD};
            RealNum* dst = in_place ? src : out;
            guard_narrow(dst, src);
            end_guard();
            num_ctx.no_rounding = 0;
            const std::vector<RealNum> want = {header_of(c.out_e, c.negative && c.error == 0), c.out[0], c.out[1],
                                               c.out[2]};
            EXPECT_EQ(std::vector<RealNum>(dst, dst + 4), want) << c.name << (in_place ? " (in place)" : "");
            EXPECT_EQ(num_ctx.error_code, c.error) << c.name;
            EXPECT_EQ(out[4], 0xDEADu) << c.name << ": wrote past the narrowed record";
        }
    }
}

bool in_region(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return b >= num_ctx.scratch_base && b < num_ctx.scratch_base + kScratchBytes;
}

TEST_F(NumContextTest, ExhaustedScratchRaises31AndSpillsOutsideTheRegion) {
    num_ctx.scratch_top = num_ctx.scratch_base;
    {
        ScratchFrame frame;
        num_ctx.real_limbs = kConstantLimbs;
        for (int i = 0; i < 37; ++i) {  // thirty-seven temporaries fit at the largest precision
            RealNum* t = scratch_real();
            ASSERT_TRUE(in_region(t) && in_region(t + kConstantLimbs)) << "temporary " << i;
        }
        EXPECT_EQ(num_ctx.error_code, 0u);
        uint8_t* top = num_ctx.scratch_top;
        EXPECT_FALSE(in_region(scratch_real()));
        EXPECT_EQ(num_ctx.error_code, kErrScratchExhausted);
        EXPECT_EQ(num_ctx.scratch_top, top);
    }
    num_ctx.error_code = 0;
    ASSERT_EQ(num_ctx.scratch_top, num_ctx.scratch_base) << "the frame did not give the region back";
    {
        ScratchFrame frame;
        uint64_t* all = scratch_take(kScratchWords);  // exactly the whole region fits
        ASSERT_EQ(all, reinterpret_cast<uint64_t*>(num_ctx.scratch_base));
        ASSERT_EQ(num_ctx.error_code, 0u);
        std::memset(all, 0xA5, kScratchBytes);
        for (size_t words : {size_t{1}, size_t{529}, kScratchWords}) {
            num_ctx.error_code = 0;
            uint64_t* spill = scratch_take(words);
            ASSERT_NE(spill, nullptr);
            EXPECT_EQ(num_ctx.error_code, kErrScratchExhausted) << words << " words";
            EXPECT_FALSE(in_region(spill)) << words << " words";
            EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base + kScratchBytes) << words << " words";
            for (size_t i = 0; i < words; ++i) ASSERT_EQ(spill[i], 0u) << "spill not zeroed at word " << i;
            std::memset(spill, 0x3C, words * 8);  // the whole request is writable
        }
        for (size_t i = 0; i < kScratchBytes; ++i) ASSERT_EQ(num_ctx.scratch_base[i], 0xA5) << "spill wrote at " << i;
    }
    // A request larger than the whole region is a programming error: null, 31, and the top unchanged.
    num_ctx.error_code = 0;
    num_ctx.scratch_top = num_ctx.scratch_base + 64;
    EXPECT_EQ(scratch_take(kScratchWords + 1), nullptr);
    EXPECT_EQ(num_ctx.error_code, kErrScratchExhausted);
    EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base + 64);
}

}  // namespace
