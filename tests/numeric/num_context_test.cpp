// Numeric context: start-up, first-error rule, constant table, guard precision, scratch stack and the once-allocated
// regions. The constants are checked against MPFR and by exact relations between slots, independently of the
// generator that produced them.
#include "numeric/num_context.h"

#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_arith.h"

namespace {

constexpr uint64_t kMaxLimb = kLimbBase - 1;
constexpr uint64_t kHalf = kLimbBase / 2;
constexpr uint64_t kOne = kLimbBase / 10;
constexpr int kConstantDigits = kConstantLimbs * 19;  // 10032
constexpr mpfr_prec_t kOracleBits = 33600;            // about 10114 decimal digits

uint64_t header_of(int64_t exponent, bool negative) {
    return (static_cast<uint64_t>(exponent) << 1) | (negative ? 1u : 0u);
}

// Saves the fields the tests change and puts them back, so that the test order does not matter.
class NumContextTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { init_numeric_context(); }
    void SetUp() override {
        saved_ = num_ctx;
        num_ctx.error_code = 0;
        num_ctx.guard_limbs = 0;
        num_ctx.guard_digit_reduction = 0;
        num_ctx.no_rounding = 0;
    }
    void TearDown() override {
        num_ctx.error_code = saved_.error_code;
        num_ctx.real_limbs = saved_.real_limbs;
        num_ctx.guard_limbs = saved_.guard_limbs;
        num_ctx.guard_digit_reduction = saved_.guard_digit_reduction;
        num_ctx.no_rounding = saved_.no_rounding;
        num_ctx.scratch_top = saved_.scratch_top;
    }
    NumContext saved_;
};

// ---- Start-up ---------------------------------------------------------------------------------------------------

// The marker makes the start values a one-time step; clearing it is the only way to watch that step again inside
// one process. The constant computation (steps after the marker test) runs on every call.
TEST_F(NumContextTest, StartValuesAreSetWhenTheMarkerIsAbsent) {
    num_ctx.init_marker = 0;
    num_ctx.error_code = 21;
    num_ctx.real_limbs = 40;
    num_ctx.number_type = kTypeComplex;
    num_ctx.display_digits = 99;
    num_ctx.scratch_top = num_ctx.scratch_base + 800;
    init_numeric_context();

    EXPECT_EQ(num_ctx.init_marker, kInitMarker);
    EXPECT_EQ(num_ctx.error_code, 0u);
    EXPECT_EQ(num_ctx.real_limbs, 1);
    EXPECT_EQ(num_ctx.int_limbs, 1);
    EXPECT_EQ(num_ctx.number_type, 0u);
    EXPECT_EQ(num_ctx.min_plain_exponent, -4);
    EXPECT_EQ(num_ctx.display_digits, 10);
    EXPECT_EQ(num_ctx.guard_digit_reduction, 0u);
    EXPECT_EQ(num_ctx.guard_limbs, 0u);
    EXPECT_EQ(num_ctx.no_rounding, 0);
    EXPECT_EQ(num_ctx.underflow_is_error, 0);
    EXPECT_EQ(std::u16string(num_ctx.decimal_point_chars, 3), std::u16string(u".,\0", 3));
    EXPECT_EQ(std::u16string(num_ctx.group_chars, 3), std::u16string(u"'\0\0", 3));
    EXPECT_EQ(std::u16string(num_ctx.exponent_chars, 3), std::u16string(u"eE\0", 3));
    EXPECT_EQ(std::u16string(num_ctx.imaginary_chars, 3), std::u16string(u"ij\0", 3));
    ASSERT_NE(num_ctx.scratch_base, nullptr);
    EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base);
    EXPECT_EQ(num_ctx.text_ring, nullptr);
    EXPECT_EQ(num_ctx.text_ring_next, 0u);
    EXPECT_EQ(num_ctx.factorial_cache, nullptr);
    saved_.scratch_top = num_ctx.scratch_base;
}

TEST_F(NumContextTest, WideMovesFlagMatchesTheCompilerRuntimeProbe) {
#if defined(__x86_64__) || defined(__i386__)
    // libgcc's probe also requires the operating system to save the AVX state (XCR0).
    EXPECT_EQ(has_wide_moves, __builtin_cpu_supports("avx") != 0);
#else
    EXPECT_FALSE(has_wide_moves);
#endif
}

struct LimbCountCase {
    int32_t installed;
    int32_t after;
    uint32_t error;
};
const LimbCountCase kLimbCountCases[] = {
    {0, 528, kErrLimbCount}, {528, 528, kErrLimbCount}, {1000, 528, kErrLimbCount},
    {1, 1, kErrNone},        {2, 2, kErrNone},          {527, 527, kErrNone},
};

TEST_F(NumContextTest, StartUpRestoresAValidLimbCountAndRejectsOthers) {
    std::vector<RealNum> before(sizeof(num_ctx.constants) / sizeof(RealNum));
    std::memcpy(before.data(), num_ctx.constants, sizeof(num_ctx.constants));
    for (const auto& c : kLimbCountCases) {
        num_ctx.error_code = 0;
        num_ctx.real_limbs = c.installed;
        uint8_t* top = num_ctx.scratch_top;
        init_numeric_context();
        EXPECT_EQ(num_ctx.real_limbs, c.after) << "installed " << c.installed;
        EXPECT_EQ(num_ctx.error_code, c.error) << "installed " << c.installed;
        EXPECT_EQ(num_ctx.scratch_top, top) << "the temporary was not given back";
        EXPECT_EQ(std::memcmp(before.data(), num_ctx.constants, sizeof(num_ctx.constants)), 0)
            << "recomputed constants differ, installed " << c.installed;
    }
}

// ---- First error wins -------------------------------------------------------------------------------------------

struct ErrorSequenceCase {
    std::vector<uint32_t> raised;
    uint32_t kept;
};

TEST_F(NumContextTest, FirstErrorWins) {
    const ErrorSequenceCase cases[] = {
        {{}, 0},
        {{kErrDivByZero}, kErrDivByZero},
        {{kErrDivByZero, kErrDomain}, kErrDivByZero},
        {{kErrOverflow, kErrInternal, kErrConstantIndex}, kErrOverflow},
        {{kErrNone, kErrDomain}, kErrDomain},  // raising 0 leaves no error behind
    };
    for (const auto& c : cases) {
        num_ctx.error_code = 0;
        for (uint32_t code : c.raised) raise_error(code);
        EXPECT_EQ(num_ctx.error_code, c.kept) << "after " << c.raised.size() << " raises";
    }
}

// ---- Constant table ---------------------------------------------------------------------------------------------

struct FirstLimbCase {
    int index;
    int64_t exponent;
    uint64_t limb0;
};
// First 19 digits of each value, truncated (bc -l to 45 digits).
const FirstLimbCase kFirstLimbCases[] = {
    {kConstLn10, 0, 2302585092994045684u},      {kConstLn2, -1, 6931471805599453094u},
    {kConstLn1_2, -1, 1823215567939546262u},    {kConstLn1_01, -3, 9950330853168082848u},
    {kConstLn10Div3, -1, 7675283643313485613u}, {kConstLn10Div9, -1, 2558427881104495204u},
    {kConstPiDiv4, -1, 7853981633974483096u},   {kConstAtan0_2, -1, 1973955598498807583u},
    {kConstAtan0_42, -1, 3976279915221293139u}, {kConstAtan0_67, -1, 5903067469353719823u},
    {kConstInvLn10, -1, 4342944819032518276u},  {kConstLog10Of2, -1, 3010299956639811952u},
    {kConstInvLn2, 0, 1442695040888963407u},    {kConst4DivPi, 0, 1273239544735162686u},
    {kConstPiDiv2, 0, 1570796326794896619u},    {kConstZero, 0, 0},
};

TEST_F(NumContextTest, GetConstantAtOneLimbGivesTheLeadingDigits) {
    num_ctx.real_limbs = 1;
    for (const auto& c : kFirstLimbCases) {
        RealNum x[2] = {77, 77};
        get_constant(x, c.index);
        EXPECT_EQ(x[0], header_of(c.exponent, false)) << "index " << c.index;
        EXPECT_EQ(x[1], c.limb0) << "index " << c.index;
    }
    EXPECT_EQ(num_ctx.error_code, 0u);
}

TEST_F(NumContextTest, GetConstantRejectsIndexesOutsideTheTable) {
    for (int index : {16, 17, 1000, -1}) {
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
            const RealNum* src = stored_slot(index);
            const int copied = limbs < kConstantLimbs ? limbs : kConstantLimbs;
            ASSERT_EQ(std::memcmp(x.data(), src, (copied + 1) * sizeof(RealNum)), 0)
                << "L " << limbs << " index " << index;
            for (int i = copied + 1; i <= limbs; ++i) ASSERT_EQ(x[i], 0u) << "limb beyond the constant, L " << limbs;
            for (size_t i = limbs + 1; i < x.size(); ++i)
                ASSERT_EQ(x[i], kSentinel) << "write past L limbs, L " << limbs << " index " << index;
        }
    }
    EXPECT_EQ(num_ctx.error_code, 0u);
}

// ---- Constants against MPFR and by exact relations ----------------------------------------------------------------

struct Mpz {
    mpz_t v;
    Mpz() { mpz_init(v); }
    ~Mpz() { mpz_clear(v); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
};

struct Mpfr {
    mpfr_t v;
    Mpfr() { mpfr_init2(v, kOracleBits); }
    ~Mpfr() { mpfr_clear(v); }
    Mpfr(const Mpfr&) = delete;
    Mpfr& operator=(const Mpfr&) = delete;
};

// The 528 limbs of a record as one integer of 10032 digits.
void mantissa_of(mpz_t out, const RealNum* x) {
    std::string digits;
    char limb[24];
    for (int i = 1; i <= kConstantLimbs; ++i) {
        std::snprintf(limb, sizeof limb, "%019llu", static_cast<unsigned long long>(x[i]));
        digits += limb;
    }
    mpz_set_str(out, digits.c_str(), 10);
}

// round(value * 10^(10031 - exponent)): the mantissa of a record with that exponent, correctly rounded.
void scaled_oracle(mpz_t out, const mpfr_t value, int64_t exponent) {
    Mpfr scale, product;
    const long shift = kConstantDigits - 1 - static_cast<long>(exponent);
    mpfr_ui_pow_ui(scale.v, 10, static_cast<unsigned long>(shift > 0 ? shift : -shift), MPFR_RNDN);  // exact
    if (shift >= 0) {
        mpfr_mul(product.v, value, scale.v, MPFR_RNDN);
    } else {
        mpfr_div(product.v, value, scale.v, MPFR_RNDN);
    }
    mpfr_get_z(out, product.v, MPFR_RNDN);
}

// Each slot's true value as fn(p / q), inverted when asked, then times mul / div.
enum OracleFn { kLn, kLog10, kAtan, kPi };
struct OracleRow {
    int index;
    OracleFn fn;
    unsigned long p, q;
    bool invert;
    unsigned long mul, div;
};
const OracleRow kOracleRows[] = {
    {kConstLn10, kLn, 10, 1, false, 1, 1},         {kConstLn2, kLn, 2, 1, false, 1, 1},
    {kConstLn1_2, kLn, 6, 5, false, 1, 1},         {kConstLn1_01, kLn, 101, 100, false, 1, 1},
    {kConstLn10Div3, kLn, 10, 1, false, 1, 3},     {kConstLn10Div9, kLn, 10, 1, false, 1, 9},
    {kConstPiDiv4, kPi, 0, 1, false, 1, 4},        {kConstAtan0_2, kAtan, 1, 5, false, 1, 1},
    {kConstAtan0_42, kAtan, 42, 100, false, 1, 1}, {kConstAtan0_67, kAtan, 67, 100, false, 1, 1},
    {kConstInvLn10, kLn, 10, 1, true, 1, 1},       {kConstLog10Of2, kLog10, 2, 1, false, 1, 1},
    {kConstInvLn2, kLn, 2, 1, true, 1, 1},         {kConst4DivPi, kPi, 0, 1, true, 4, 1},
    {kConstPiDiv2, kPi, 0, 1, false, 1, 2},
};

void oracle_value(mpfr_t out, int index) {
    for (const auto& r : kOracleRows) {
        if (r.index != index) continue;
        Mpfr arg;
        mpfr_set_ui(arg.v, r.p, MPFR_RNDN);
        mpfr_div_ui(arg.v, arg.v, r.q, MPFR_RNDN);
        if (r.fn == kLn) mpfr_log(out, arg.v, MPFR_RNDN);
        if (r.fn == kLog10) mpfr_log10(out, arg.v, MPFR_RNDN);
        if (r.fn == kAtan) mpfr_atan(out, arg.v, MPFR_RNDN);
        if (r.fn == kPi) mpfr_const_pi(out, MPFR_RNDN);
        if (r.invert) mpfr_ui_div(out, 1, out, MPFR_RNDN);
        mpfr_mul_ui(out, out, r.mul, MPFR_RNDN);
        mpfr_div_ui(out, out, r.div, MPFR_RNDN);
        return;
    }
    mpfr_set_zero(out, 1);
}

// Distance, in units of the 528th limb, between slot `index` and the MPFR value rounded to the slot's exponent.
long distance_to_oracle(int index) {
    const RealNum* x = stored_slot(index);
    Mpfr value;
    Mpz stored, expected;
    oracle_value(value.v, index);
    mantissa_of(stored.v, x);
    scaled_oracle(expected.v, value.v, real_exponent(x));
    mpz_sub(stored.v, stored.v, expected.v);
    mpz_abs(stored.v, stored.v);
    return mpz_fits_slong_p(stored.v) ? mpz_get_si(stored.v) : -1;
}

TEST_F(NumContextTest, StoredConstantsAreCorrectlyRoundedTo528Limbs) {
    for (int index = 0; index < kStoredConstantCount; ++index) {
        const RealNum* x = stored_slot(index);
        EXPECT_GE(x[1], kOne) << "slot " << index << " not normalised";
        EXPECT_LT(x[1], kLimbBase) << "slot " << index;
        EXPECT_FALSE(real_is_negative(x)) << "slot " << index;
        const long distance = distance_to_oracle(index);
        EXPECT_GE(distance, 0) << "slot " << index << " is far from the MPFR value";
        EXPECT_LE(distance, 1) << "slot " << index;
    }
}

// A derived slot inherits up to one unit from its rounded operand; the truncating products of the reciprocal's last
// Newton step lose a few more units, all in the last limb.
TEST_F(NumContextTest, DerivedConstantsAgreeWithMpfrToTheLastLimb) {
    for (int index = kStoredConstantCount; index < kConstZero; ++index) {
        const long distance = distance_to_oracle(index);
        EXPECT_GE(distance, 0) << "slot " << index << " is far from the MPFR value";
        EXPECT_LE(distance, 5) << "slot " << index;
    }
    const RealNum* zero = stored_slot(kConstZero);
    for (int i = 0; i <= kConstantLimbs; ++i) ASSERT_EQ(zero[i], 0u) << "slot 15 word " << i;
}

// Exact integer relations between the mantissas S_i (10032-digit integers): each stored slot is within half a unit
// of its true value, so the bounds below follow from the scale factors alone.
TEST_F(NumContextTest, StoredConstantsKeepTheirRelations) {
    Mpz s0, s4, s5, s6, s14, lhs, rhs, pi_scaled;
    mantissa_of(s0.v, stored_slot(kConstLn10));
    mantissa_of(s4.v, stored_slot(kConstLn10Div3));
    mantissa_of(s5.v, stored_slot(kConstLn10Div9));
    mantissa_of(s6.v, stored_slot(kConstPiDiv4));
    mantissa_of(s14.v, stored_slot(kConstPiDiv2));
    ASSERT_EQ(real_exponent(stored_slot(kConstLn10)), 0);
    ASSERT_EQ(real_exponent(stored_slot(kConstLn10Div3)), -1);
    ASSERT_EQ(real_exponent(stored_slot(kConstLn10Div9)), -1);
    ASSERT_EQ(real_exponent(stored_slot(kConstPiDiv4)), -1);
    ASSERT_EQ(real_exponent(stored_slot(kConstPiDiv2)), 0);

    // 3 * S4 and 10 * S0 both approximate ln 10 * 10^10032: |difference| <= 3/2 + 10/2.
    mpz_mul_ui(lhs.v, s4.v, 3);
    mpz_mul_ui(rhs.v, s0.v, 10);
    mpz_sub(lhs.v, lhs.v, rhs.v);
    EXPECT_LE(mpz_cmpabs_ui(lhs.v, 6), 0) << "3 * (ln 10)/3 against ln 10";

    // 9 * S5 against 10 * S0: |difference| <= 9/2 + 10/2.
    mpz_mul_ui(lhs.v, s5.v, 9);
    mpz_sub(lhs.v, lhs.v, rhs.v);
    EXPECT_LE(mpz_cmpabs_ui(lhs.v, 9), 0) << "9 * (ln 10)/9 against ln 10";

    // 4 * S6 against 10 * round(pi * 10^10031): |difference| <= 4/2 + 10/2.
    Mpfr pi;
    mpfr_const_pi(pi.v, MPFR_RNDN);
    scaled_oracle(pi_scaled.v, pi.v, 0);
    mpz_mul_ui(lhs.v, s6.v, 4);
    mpz_mul_ui(rhs.v, pi_scaled.v, 10);
    mpz_sub(lhs.v, lhs.v, rhs.v);
    EXPECT_LE(mpz_cmpabs_ui(lhs.v, 7), 0) << "4 * pi/4 against pi";

    // Slot 14 is slot 6 times the word 2, one digit up and truncated: S14 = floor(2 * S6 / 10).
    mpz_mul_ui(lhs.v, s6.v, 2);
    mpz_fdiv_q_ui(lhs.v, lhs.v, 10);
    EXPECT_EQ(mpz_cmp(lhs.v, s14.v), 0) << "pi/2 is not the word product of pi/4";
}

// ---- Guard precision --------------------------------------------------------------------------------------------

struct BeginGuardCase {
    int extra_digits;
    uint32_t error;
    int32_t limbs;
    uint32_t reduction;
    uint32_t guard_limbs;
};
const BeginGuardCase kBeginGuardCases[] = {
    {1, kErrNone, 11, 18, 1},    {2, kErrNone, 11, 17, 1},    {19, kErrNone, 11, 0, 1},     {20, kErrDomain, 10, 0, 0},
    {100, kErrDomain, 10, 0, 0}, {0, kErrInternal, 10, 0, 0}, {-3, kErrInternal, 10, 0, 0},
};

TEST_F(NumContextTest, BeginGuardAddsOneLimbForOneToNineteenDigits) {
    for (const auto& c : kBeginGuardCases) {
        num_ctx.error_code = 0;
        num_ctx.real_limbs = 10;
        begin_guard(c.extra_digits);
        EXPECT_EQ(num_ctx.error_code, c.error) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.real_limbs, c.limbs) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_digit_reduction, c.reduction) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_limbs, c.guard_limbs) << "k " << c.extra_digits;
        end_guard();
        EXPECT_EQ(num_ctx.real_limbs, 10) << "k " << c.extra_digits;
        EXPECT_EQ(num_ctx.guard_limbs, 0u);
        EXPECT_EQ(num_ctx.guard_digit_reduction, 0u);
    }
}

TEST_F(NumContextTest, SecondBeginGuardRaises30AndChangesNothing) {
    num_ctx.real_limbs = 10;
    begin_guard(2);
    ASSERT_EQ(num_ctx.error_code, 0u);
    begin_guard(2);
    EXPECT_EQ(num_ctx.error_code, kErrInternal);
    EXPECT_EQ(num_ctx.real_limbs, 11);
    EXPECT_EQ(num_ctx.guard_digit_reduction, 17u);
    EXPECT_EQ(num_ctx.guard_limbs, 1u);
    end_guard();
    EXPECT_EQ(num_ctx.real_limbs, 10);

    // The calculator's own reduction without a guard limb also counts as an active guard.
    num_ctx.error_code = 0;
    num_ctx.guard_digit_reduction = 17;
    begin_guard(2);
    EXPECT_EQ(num_ctx.error_code, kErrInternal);
    EXPECT_EQ(num_ctx.real_limbs, 10);
    EXPECT_EQ(num_ctx.guard_limbs, 0u);
}

struct NarrowCase {
    const char* name;
    uint64_t header;
    uint64_t limbs[3];
    uint64_t guard;
    uint8_t no_rounding;
    uint64_t out_header;
    uint64_t out_limbs[3];
    uint32_t error;
};
constexpr int64_t kTop = (int64_t{1} << 62) - 1;
const NarrowCase kNarrowCases[] = {
    {"all nines carry into the exponent",
     header_of(4, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kHalf,
     0,
     header_of(5, false),
     {kOne, 0, 0},
     kErrNone},
    {"negative all nines keep the sign",
     header_of(-7, true),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kMaxLimb,
     0,
     header_of(-6, true),
     {kOne, 0, 0},
     kErrNone},
    {"guard just below half",
     header_of(4, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kHalf - 1,
     0,
     header_of(4, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kErrNone},
    {"no_rounding truncates",
     header_of(4, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kMaxLimb,
     1,
     header_of(4, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kErrNone},
    {"plain increment", header_of(0, false), {kOne, 0, 5}, kHalf, 0, header_of(0, false), {kOne, 0, 6}, kErrNone},
    {"carry stops in the middle",
     header_of(2, true),
     {kOne, 7, kMaxLimb},
     9000000000000000000u,
     0,
     header_of(2, true),
     {kOne, 8, 0},
     kErrNone},
    {"zero stays zero", header_of(0, true), {0, 0, 0}, 0, 0, header_of(0, true), {0, 0, 0}, kErrNone},
    {"carry at the largest exponent overflows",
     header_of(kTop, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kHalf,
     0,
     0,
     {0, 0, 0},
     kErrOverflow},
    {"negative exponent carries towards zero",
     header_of(-1, false),
     {kMaxLimb, kMaxLimb, kMaxLimb},
     kHalf,
     0,
     header_of(0, false),
     {kOne, 0, 0},
     kErrNone},
};

TEST_F(NumContextTest, NarrowingRoundsHalfUpOnTheGuardLimb) {
    for (bool in_place : {false, true}) {
        for (const auto& c : kNarrowCases) {
            num_ctx.error_code = 0;
            num_ctx.real_limbs = 3;
            begin_guard(2);
            num_ctx.no_rounding = c.no_rounding;
            RealNum src[5] = {c.header, c.limbs[0], c.limbs[1], c.limbs[2], c.guard};
            RealNum out[5] = {1, 2, 3, 4, 0xDEAD};
            RealNum* dst = in_place ? src : out;
            guard_narrow(dst, src);
            end_guard();
            num_ctx.no_rounding = 0;
            const std::string where = std::string(c.name) + (in_place ? " (in place)" : "");
            EXPECT_EQ(num_ctx.error_code, c.error) << where;
            EXPECT_EQ(dst[0], c.out_header) << where;
            for (int i = 0; i < 3; ++i) EXPECT_EQ(dst[1 + i], c.out_limbs[i]) << where << " limb " << i;
            if (!in_place) {
                EXPECT_EQ(out[4], 0xDEADu) << where << ": wrote past the narrowed record";
            }
        }
    }
}

TEST_F(NumContextTest, NarrowingWithoutGuardOnlyCopies) {
    num_ctx.real_limbs = 2;
    RealNum src[3] = {header_of(3, false), kMaxLimb, kMaxLimb};
    RealNum dst[3] = {};
    guard_narrow(dst, src);
    EXPECT_EQ(std::memcmp(dst, src, sizeof src), 0);
    EXPECT_EQ(num_ctx.error_code, 0u);
}

TEST_F(NumContextTest, WideningZeroesTheGuardLimbAndNarrowingUndoesIt) {
    num_ctx.real_limbs = 4;
    RealNum user[5] = {header_of(-12, true), 3141592653589793238u, 4626433832795028841u, 9716939937510582097u,
                       4944592307816406286u};
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
}

// limbs_round_half_up against the integer rule: M' = floor((M * B + guard + B/2) / B), carry when M' = B^n.
TEST_F(NumContextTest, RoundHalfUpMatchesIntegerRoundingOnRandomVectors) {
    std::mt19937_64 rng(20240611);
    Mpz m, expected, got, power;
    char text[24];
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 6);
        uint64_t limbs[6];
        std::string digits;
        for (int i = 0; i < n; ++i) {
            // Mostly nines so that long carries are common.
            limbs[i] = rng() % 3 != 0 ? kMaxLimb : rng() % kLimbBase;
            if (i == 0 && limbs[i] < kOne) limbs[i] += kOne;
            std::snprintf(text, sizeof text, "%019llu", static_cast<unsigned long long>(limbs[i]));
            digits += text;
        }
        const uint64_t guard = rng() % 4 == 0 ? kHalf - 1 + rng() % 3 : rng() % kLimbBase;
        mpz_set_str(m.v, digits.c_str(), 10);
        mpz_set_ui(power.v, 10);
        mpz_pow_ui(power.v, power.v, 19u * n);
        mpz_set(expected.v, m.v);
        if (guard >= kHalf) mpz_add_ui(expected.v, expected.v, 1);
        const bool expect_carry = mpz_cmp(expected.v, power.v) == 0;
        if (expect_carry) mpz_tdiv_q_ui(expected.v, expected.v, 10);

        const bool carry = limbs_round_half_up(limbs, n, guard);
        digits.clear();
        for (int i = 0; i < n; ++i) {
            std::snprintf(text, sizeof text, "%019llu", static_cast<unsigned long long>(limbs[i]));
            digits += text;
        }
        mpz_set_str(got.v, digits.c_str(), 10);
        ASSERT_EQ(carry, expect_carry) << "n " << n << " guard " << guard << " input " << mpz_get_str(nullptr, 10, m.v);
        ASSERT_EQ(mpz_cmp(got.v, expected.v), 0)
            << "n " << n << " guard " << guard << " input " << mpz_get_str(nullptr, 10, m.v);
    }
}

// ---- Scratch stack ----------------------------------------------------------------------------------------------

bool in_region(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return b >= num_ctx.scratch_base && b < num_ctx.scratch_base + kScratchBytes;
}

TEST_F(NumContextTest, ScratchHoldsThirtySevenTemporariesAtTheLargestPrecision) {
    num_ctx.scratch_top = num_ctx.scratch_base;
    num_ctx.real_limbs = kConstantLimbs;
    ScratchFrame frame;
    for (int i = 0; i < 37; ++i) {
        RealNum* t = scratch_real();
        ASSERT_TRUE(in_region(t)) << "temporary " << i;
        ASSERT_TRUE(in_region(t + kConstantLimbs)) << "temporary " << i;
    }
    EXPECT_EQ(num_ctx.error_code, 0u);
    uint8_t* top = num_ctx.scratch_top;
    RealNum* spill = scratch_real();
    EXPECT_EQ(num_ctx.error_code, kErrScratchExhausted);
    EXPECT_FALSE(in_region(spill));
    EXPECT_EQ(num_ctx.scratch_top, top);
}

TEST_F(NumContextTest, ExhaustedScratchRaises31AndSpillsOutsideTheRegion) {
    num_ctx.scratch_top = num_ctx.scratch_base;
    {
        ScratchFrame frame;
        uint64_t* all = scratch_take(kScratchWords);  // exactly the whole region fits
        ASSERT_EQ(all, reinterpret_cast<uint64_t*>(num_ctx.scratch_base));
        ASSERT_EQ(num_ctx.error_code, 0u);
        ASSERT_EQ(num_ctx.scratch_top, num_ctx.scratch_base + kScratchBytes);
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
        for (size_t i = 0; i < kScratchBytes; ++i)
            ASSERT_EQ(num_ctx.scratch_base[i], 0xA5) << "spill wrote into the region at byte " << i;
    }
    EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base);

    num_ctx.error_code = 0;
    num_ctx.real_limbs = 30;
    ScratchFrame frame;
    RealNum* t = scratch_real();
    EXPECT_EQ(t, reinterpret_cast<RealNum*>(num_ctx.scratch_base));
    EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base + 31 * 8);
    EXPECT_EQ(num_ctx.error_code, 0u);
}

TEST_F(NumContextTest, RequestLargerThanTheRegionReturnsNull) {
    num_ctx.scratch_top = num_ctx.scratch_base + 64;
    EXPECT_EQ(scratch_take(kScratchWords + 1), nullptr);
    EXPECT_EQ(num_ctx.error_code, kErrScratchExhausted);
    EXPECT_EQ(num_ctx.scratch_top, num_ctx.scratch_base + 64);
}

int take_and_leave_early(bool early) {
    ScratchFrame frame;
    scratch_take(100);
    if (early) return 1;
    scratch_take(100);
    return 2;
}

TEST_F(NumContextTest, ScratchFrameRestoresTheTopOnEveryReturnPath) {
    uint8_t* top = num_ctx.scratch_top;
    EXPECT_EQ(take_and_leave_early(true), 1);
    EXPECT_EQ(num_ctx.scratch_top, top);
    EXPECT_EQ(take_and_leave_early(false), 2);
    EXPECT_EQ(num_ctx.scratch_top, top);
}

// ---- Regions allocated on first use -------------------------------------------------------------------------------

TEST_F(NumContextTest, TextRingCyclesThroughFiveBuffers) {
    char16_t* first = text_ring_next_buffer();
    ASSERT_NE(num_ctx.text_ring, nullptr);
    char16_t* ring = num_ctx.text_ring;
    const size_t start = static_cast<size_t>(first - ring) / kTextRingUnits;
    ASSERT_EQ(first, ring + start * kTextRingUnits);
    for (int step = 1; step <= 10; ++step) {
        char16_t* b = text_ring_next_buffer();
        EXPECT_EQ(b, ring + ((start + step) % kTextRingBuffers) * kTextRingUnits) << "step " << step;
        b[0] = u'x';
        b[kTextRingUnits - 1] = u'y';
    }
    EXPECT_EQ(num_ctx.text_ring, ring) << "the ring must be allocated once";
}

TEST_F(NumContextTest, FactorialCacheIsAllocatedOnce) {
    uint64_t* region = factorial_cache_region();
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(num_ctx.factorial_cache, region);
    region[kFactorialCacheBytes / 8 - 1] = 42;
    EXPECT_EQ(factorial_cache_region(), region);
}

}  // namespace
