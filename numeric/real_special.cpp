#include "numeric/real_special.h"

#include "numeric/limb_kernels.h"
#include "numeric/real_arith.h"

namespace {

// Twice the constant pi/2 with one limb beyond the current precision (two extra digits aimed at), rounded back
// half up. The guard fields found on entry are put back, so this also works under an active guard; without one
// it is begin_guard(2) / end_guard.
void set_pi(RealNum* dst) {
    const int32_t limbs = num_ctx.real_limbs;
    const uint32_t guard_limbs = num_ctx.guard_limbs;
    const uint32_t reduction = num_ctx.guard_digit_reduction;
    num_ctx.real_limbs = limbs + 1;
    num_ctx.guard_limbs = 1;
    num_ctx.guard_digit_reduction = 17;
    {
        ScratchFrame frame;
        RealNum* t = scratch_real();
        get_constant(t, kConstPiDiv2);
        real_mul_word(t, t, 2);
        guard_narrow(dst, t);
    }
    num_ctx.real_limbs = limbs;
    num_ctx.guard_limbs = guard_limbs;
    num_ctx.guard_digit_reduction = reduction;
}

}  // namespace

void real_set_special(RealNum* dst, int code) {
    const int n = num_ctx.real_limbs;
    uint64_t* limbs = real_limbs_of(dst);
    switch (code) {
        case kSpecialZero:
        case kSpecialZeroAlt:
            real_set_zero(dst);
            return;
        case kSpecialSmallest:
            limbs_zero(limbs, n);
            limbs[0] = kLimbBase / 10;
            dst[0] = static_cast<uint64_t>(-kMaxExponent) << 1;
            return;
        case kSpecialLargest:
            for (int i = 0; i < n; ++i) limbs[i] = kLimbBase - 1;
            dst[0] = static_cast<uint64_t>(kMaxExponent) << 1;
            return;
        case kSpecialPi:
            set_pi(dst);
            return;
        default:
            raise_error(kErrDomain);
            real_set_zero(dst);
            return;
    }
}
