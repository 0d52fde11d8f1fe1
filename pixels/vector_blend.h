// The wide step's arithmetic, written once for vectors of any width: a block
// of packed destination pixels meets a block of colours in the same byte
// layout (blue, green, red, fourth byte), is widened to 16-bit lanes where the
// rule needs room, computes (B × W + d × (256 − W)) >> 8 and is packed back.
// B ≤ 255 and W ≤ 256, so the result is 0..255 and the final pack saturates
// but never has to. Each vector file supplies its Packed and Lanes types with
// the primitives used here (low, high, pack, spreadAlpha, weigh, and those of
// the modes), found by argument-dependent lookup. Included only by the vector table files; pure functions, any
// thread.
#pragma once

#include "pixels/blend_modes.h"
#include "pixels/narrow_row.h"

namespace zelvor::pixels {
namespace {  // per table file, as in blend_modes.h

// (b × W + d × (256 − W)) >> 8 on lanes, W from the rule and, for the rules
// with alpha, from the fourth lane of each pixel of c. parameter holds the
// call's weight parameter in every lane: W itself for the rules with one
// weight, the opacity weight for OpacityAlpha.
template <WeightRule rule, class Lanes>
Lanes mixLanes(Lanes b, Lanes d, Lanes c, Lanes parameter) {
  if constexpr (rule == WeightRule::Alpha || rule == WeightRule::OpacityAlpha) {
    Lanes const alpha = spreadAlpha(c);
    Lanes w = alpha;
    if constexpr (rule == WeightRule::Alpha) {
      w = scale256(alpha);
    } else {
      w = mulShift8(parameter, alpha);
    }
    return weigh(b, d, w);
  } else {
    return weigh(b, d, parameter);
  }
}

template <class Mode, class Lanes>
Lanes blendLanes(Lanes d, Lanes c) {
  return Mode::blend(d, Mode::operand(c));
}

// The pixels d become after meeting colours c. The bytewise modes compute B
// on the packed bytes and widen only to weigh; the others widen first.
template <class Mode, WeightRule rule, class Packed, class Lanes>
Packed blendPacked(Packed d, Packed c, Lanes parameter) {
  if constexpr (rule == WeightRule::Opaque && Mode::bytewise) {
    return Mode::blend(d, c);
  } else if constexpr (rule == WeightRule::Opaque) {
    return pack(blendLanes<Mode>(low(d), low(c)), blendLanes<Mode>(high(d), high(c)));
  } else if constexpr (Mode::bytewise) {
    Packed const b = Mode::blend(d, c);
    return pack(mixLanes<rule>(low(b), low(d), low(c), parameter),
                mixLanes<rule>(high(b), high(d), high(c), parameter));
  } else {
    Lanes const dl = low(d);
    Lanes const dh = high(d);
    Lanes const cl = low(c);
    Lanes const ch = high(c);
    return pack(mixLanes<rule>(blendLanes<Mode>(dl, cl), dl, cl, parameter),
                mixLanes<rule>(blendLanes<Mode>(dh, ch), dh, ch, parameter));
  }
}

}  // namespace
}  // namespace zelvor::pixels
