// Numeric context: start-up, the constant table against MPFR, guard precision with its rounding, and the checked
// scratch stack.
#include "numeric/num_context.h"

#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstring>
#include <random>
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
void mpz_from_limbs(mpz_t out, const uint64_t* limbs, int n) {
    mpz_set_ui(out, 0);
    for (int i = 0; i < n; ++i) {
        mpz_mul_ui(out, out, kLimbBase);
        mpz_add_ui(out, out, limbs[i]);
    }
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

// ---- Start-up ------------------------------------------------------------------------------------------------

// The marker makes the start values a one-time step; clearing it is the only way to watch that step again inside
// one process. Every start-up checks the installed limb count and recomputes the derived constants.
TEST_F(NumContextTest, StartUpSetsTheStartValuesOnceAndChecksTheLimbCount) {
    num_ctx.init_marker = 0;
    num_ctx.error_code = 21;
    num_ctx.real_limbs = 40;
    num_ctx.number_type = kTypeComplex;
    num_ctx.display_digits = 99;
    num_ctx.scratch_top = num_ctx.scratch_base + 800;
    init_numeric_context();
    const int64_t kFields[][2] = {
        {num_ctx.init_marker, kInitMarker}, {num_ctx.error_code, 0},      {num_ctx.real_limbs, 1},
        {num_ctx.int_limbs, 1},             {num_ctx.number_type, 0},     {num_ctx.min_plain_exponent, -4},
        {num_ctx.display_digits, 10},       {num_ctx.guard_limbs, 0},     {num_ctx.guard_digit_reduction, 0},
        {num_ctx.no_rounding, 0},           {num_ctx.text_ring_next, 0},  {num_ctx.underflow_is_error, 0},
        {num_ctx.text_ring != nullptr, 0},  {num_ctx.factorial_cache != nullptr, 0},
        {num_ctx.scratch_base != nullptr, 1}, {num_ctx.scratch_top == num_ctx.scratch_base, 1}};
    for (const auto& f : kFields) EXPECT_EQ(f[0], f[1]) << "field " << (&f - kFields);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(has_wide_moves, __builtin_cpu_supports("avx") != 0);  // libgcc's probe also checks the OS saves AVX
#else
    EXPECT_FALSE(has_wide_moves);
#endif

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

// ---- Constant table --------------------------------------------------------------------------------------------

const RealNum* stored_slot(int index) {
    return index < kStoredConstantCount ? kStoredConstants[index] : num_ctx.constants[index - kStoredConstantCount];
}

TEST_F(NumContextTest, GetConstantCopiesHeaderAndExactlyTheCurrentLimbs) {
    constexpr RealNum kSentinel = 0x5A5A5A5A5A5A5A5Aull;
    for (int limbs : {1, 2, 19, 100, 527, 528, 529}) {
        num_ctx.real_limbs = limbs;
        for (int index = 0; index <= kConstZero; ++index) {
            std::vector<RealNum> x(kConstantLimbs + 4, kSentinel);
            get_constant(x.data(), index);
            const int copied = limbs < kConstantLimbs ? limbs : kConstantLimbs;
            ASSERT_EQ(std::memcmp(x.data(), stored_slot(index), (copied + 1) * sizeof(RealNum)), 0)
                << "L " << limbs << " index " << index;
            for (int i = copied + 1; i <= limbs; ++i) ASSERT_EQ(x[i], 0u) << "limb beyond the constant, L " << limbs;
            for (size_t i = limbs + 1; i < x.size(); ++i) ASSERT_EQ(x[i], kSentinel) << "write past L " << limbs;
        }
    }
    EXPECT_EQ(num_ctx.error_code, 0u);
    for (int index : {16, 1000, -1}) {
        num_ctx.error_code = 0;
        num_ctx.real_limbs = 3;
        RealNum x[4] = {5, 6, 7, 8};
        get_constant(x, index);
        EXPECT_EQ(num_ctx.error_code, kErrConstantIndex) << "index " << index;
        for (RealNum w : x) EXPECT_EQ(w, 0u) << "index " << index << " must give +0";
    }
    num_ctx.error_code = kErrDomain;
    RealNum x[4];
    get_constant(x, 16);
    EXPECT_EQ(num_ctx.error_code, kErrDomain) << "an older error must survive";
}

// Each slot's true value as fn(p / q), inverted when asked, times mul / div; the allowed distance in units of the
// 528th limb: stored slots are correctly rounded, a derived slot inherits a unit from its rounded operand and the
// truncating products of the reciprocal's last Newton step lose a few more.
enum OracleFn { kLn, kInvLn, kLog10, kAtan, kPi, kInvPi };
const struct {
    int index; OracleFn fn; unsigned long p, q, mul, div; long units;
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
    mpz_t stored, expected;
    mpz_inits(stored, expected, nullptr);
    for (const auto& r : kOracleRows) {
        const RealNum* x = stored_slot(r.index);
        EXPECT_GE(x[1], kOne) << "slot " << r.index << " not normalised";
        EXPECT_LT(x[1], kLimbBase) << "slot " << r.index;
        EXPECT_FALSE(real_is_negative(x)) << "slot " << r.index;
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
        mpfr_get_z(expected, scaled, MPFR_RNDN);
        mpz_from_limbs(stored, x + 1, kConstantLimbs);
        mpz_sub(stored, stored, expected);
        EXPECT_LE(mpz_cmpabs_ui(stored, r.units), 0) << "slot " << r.index << " is off by " << mpz_get_d(stored);
    }
    for (int i = 0; i <= kConstantLimbs; ++i) ASSERT_EQ(stored_slot(kConstZero)[i], 0u) << "slot 15 word " << i;
    mpz_clears(stored, expected, nullptr);
    mpfr_clears(value, scaled, static_cast<mpfr_ptr>(nullptr));
}

// ---- Guard precision -------------------------------------------------------------------------------------------

TEST_F(NumContextTest, BeginGuardAddsOneLimbForOneToNineteenDigits) {
    const struct {
        int extra_digits; uint32_t error, limbs, reduction, guard_limbs;
    } kCases[] = {{1, kErrNone, 11, 18, 1},    {2, kErrNone, 11, 17, 1},    {19, kErrNone, 11, 0, 1},
                  {20, kErrDomain, 10, 0, 0},  {100, kErrDomain, 10, 0, 0}, {0, kErrInternal, 10, 0, 0},
                  {-3, kErrInternal, 10, 0, 0}};
    for (const auto& c : kCases) {
        num_ctx.error_code = 0;
        num_ctx.real_limbs = 10;
        begin_guard(c.extra_digits);
        EXPECT_EQ(num_ctx.error_code, c.error) << "k " << c.extra_digits;
        EXPECT_EQ(static_cast<uint32_t>(num_ctx.real_limbs), c.limbs) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_digit_reduction, c.reduction) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_limbs, c.guard_limbs) << "k " << c.extra_digits;
        end_guard();
        EXPECT_EQ(num_ctx.real_limbs, 10) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_limbs + num_ctx.guard_digit_reduction, 0u);
    }
    // A second guard, or the calculator's own reduction without a guard limb, raises 30 and changes nothing.
    begin_guard(2);
    begin_guard(3);
    EXPECT_EQ(num_ctx.error_code, kErrInternal);
    EXPECT_EQ(num_ctx.real_limbs, 11);
    EXPECT_EQ(num_ctx.guard_digit_reduction, 17u);
    end_guard();
    num_ctx.error_code = 0;
    num_ctx.guard_digit_reduction = 17;
    begin_guard(2);
    EXPECT_EQ(num_ctx.error_code, kErrInternal);
    EXPECT_EQ(num_ctx.real_limbs, 10);
    EXPECT_EQ(num_ctx.guard_limbs, 0u);
}

TEST_F(NumContextTest, NarrowingRoundsHalfUpOnTheGuardLimb) {
    constexpr uint64_t N = kMaxLimb;
    const struct {
        const char* name; int64_t e; bool negative; uint64_t limbs[3], guard; uint8_t no_rounding; int64_t out_e;
        uint64_t out_limbs[3]; uint32_t error;
    } kCases[] = {
        {"all nines carry into the exponent", 4, false, {N, N, N}, kHalf, 0, 5, {kOne, 0, 0}, kErrNone},
        {"negative all nines keep the sign", -7, true, {N, N, N}, N, 0, -6, {kOne, 0, 0}, kErrNone},
        {"guard just below half", 4, false, {N, N, N}, kHalf - 1, 0, 4, {N, N, N}, kErrNone},
        {"no_rounding truncates", 4, false, {N, N, N}, N, 1, 4, {N, N, N}, kErrNone},
        {"carry stops in the middle", 2, true, {kOne, 7, N}, 9 * kOne, 0, 2, {kOne, 8, 0}, kErrNone},
        {"zero stays zero", 0, true, {0, 0, 0}, 0, 0, 0, {0, 0, 0}, kErrNone},
        {"carry at the top exponent overflows", kTop, false, {N, N, N}, kHalf, 0, 0, {0, 0, 0}, kErrOverflow},
        {"negative exponent carries towards zero", -1, false, {N, N, N}, kHalf, 0, 0, {kOne, 0, 0}, kErrNone}};
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
            const std::string where = std::string(c.name) + (in_place ? " (in place)" : "");
            EXPECT_EQ(num_ctx.error_code, c.error) << where;
            EXPECT_EQ(dst[0], header_of(c.out_e, c.negative)) << where;
            for (int i = 0; i < 3; ++i) EXPECT_EQ(dst[1 + i], c.out_limbs[i]) << where << " limb " << i;
            EXPECT_EQ(out[4], 0xDEADu) << where << ": wrote past the narrowed record";
        }
    }
}

TEST_F(NumContextTest, WideningZeroesTheGuardLimbAndNarrowingUndoesIt) {
    num_ctx.real_limbs = 4;
    const RealNum user[5] = {header_of(-12, true), 3141592653589793238u, 4626433832795028841u, 9716939937510582097u,
                             kMaxLimb};
    RealNum copy[5] = {};
    guard_narrow(copy, user);  // without a guard: a plain copy, no rounding
    EXPECT_EQ(std::memcmp(copy, user, sizeof user), 0);
    begin_guard(5);
    RealNum wide[6] = {0, 0, 0, 0, 0, 0xFFFF};
    guard_widen(wide, user);
    EXPECT_EQ(std::memcmp(wide, user, sizeof user), 0);
    EXPECT_EQ(wide[5], 0u);
    RealNum back[5] = {};
    guard_narrow(back, wide);
    end_guard();
    EXPECT_EQ(std::memcmp(back, user, sizeof user), 0);
    EXPECT_EQ(num_ctx.real_limbs, 4);
    EXPECT_EQ(num_ctx.error_code, 0u);
}

// limbs_round_half_up against the integer rule: M' = M + (guard >= B/2), with the carry out of limb 0 when M' = B^n
// (the limbs then read 10^18, 0, ...: M' / 10).
TEST_F(NumContextTest, RoundHalfUpMatchesIntegerRoundingOnRandomVectors) {
    std::mt19937_64 rng(20240611);
    mpz_t m, expected, got, power;
    mpz_inits(m, expected, got, power, nullptr);
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 6);
        uint64_t limbs[6];
        for (int i = 0; i < n; ++i) limbs[i] = rng() % 3 != 0 ? kMaxLimb : rng() % kLimbBase;  // long carries
        if (limbs[0] < kOne) limbs[0] += kOne;
        const uint64_t guard = rng() % 4 == 0 ? kHalf - 1 + rng() % 3 : rng() % kLimbBase;
        mpz_from_limbs(m, limbs, n);
        mpz_ui_pow_ui(power, kLimbBase, n);
        mpz_add_ui(expected, m, guard >= kHalf ? 1 : 0);
        const bool expect_carry = mpz_cmp(expected, power) == 0;
        if (expect_carry) mpz_tdiv_q_ui(expected, expected, 10);
        const bool carry = limbs_round_half_up(limbs, n, guard);
        mpz_from_limbs(got, limbs, n);
        ASSERT_EQ(carry, expect_carry) << "n " << n << " guard " << guard << " input " << mpz_get_str(nullptr, 10, m);
        ASSERT_EQ(mpz_cmp(got, expected), 0)
            << "n " << n << " guard " << guard << " input " << mpz_get_str(nullptr, 10, m);
    }
    mpz_clears(m, expected, got, power, nullptr);
}

// ---- Scratch stack: a checked region that raises 31 instead of running past its end ---------------------------

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
