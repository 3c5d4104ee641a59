// The record pre-render hands to the render through a host handle. Its
// layout is part of what the host carries between the two commands, so every
// offset is pinned, with 4-byte packing: the 8-byte members stand at offsets
// that are multiples of 4 only.
//
// Because of that packing, no pointer to a double or to the sampling block is
// ever formed from a member: the doubles are read and written by member
// access only, and the sampling block is copied in and out byte-wise.
#pragma once

#include <cstddef>
#include <cstring>

#include "host/ae_effect.h"

namespace prismora {

#pragma pack(push, 4)
struct RenderSnapshot {
  PF_Fixed center_x;            // "Center", as delivered
  PF_Fixed center_y;
  A_u_char reserved0[8];
  PF_Fixed amount;              // "Amount" plus "random" when random is on
  double power;
  const double* profile_table;  // render: the radial profile of the current call
  double displace_scale;        // render: pixels at profile 1
  PF_Fixed blur_amount;         // raw fixed value
  double blur_scale;            // render
  A_u_char blur_on;
  A_u_char color_mode;          // low byte of the "Mode" popup
  PF_Pixel color_a;             // weight of the sample at the pixel
  PF_Pixel color_b;             // one step toward the centre
  PF_Pixel color_c;             // two steps toward the centre
  A_u_char padding0[2];
  double half_diagonal;         // render
  double vig_norm;              // pre-render: 1 - amount/100; render: 1 / (that x R)^power
  double vig_brightness;
  A_u_char vig_on;
  A_u_char padding1[3];
  double vig_power;
  double vig_maximum;
  double vig_minimum;
  A_u_char vig_same;
  A_u_char padding2[3];
  PF_Fixed vig_center_x;
  PF_Fixed vig_center_y;
  A_u_char reserved1;
  A_u_char limiter;
  A_u_char padding3[2];
  A_u_char reserved2[16];
  PF_SampPB samp;               // zero but for its source world, set by the render
  A_u_char reserved3[8];
};
#pragma pack(pop)

static_assert(sizeof(RenderSnapshot) == 268);
static_assert(offsetof(RenderSnapshot, center_x) == 0);
static_assert(offsetof(RenderSnapshot, center_y) == 4);
static_assert(offsetof(RenderSnapshot, reserved0) == 8);
static_assert(offsetof(RenderSnapshot, amount) == 16);
static_assert(offsetof(RenderSnapshot, power) == 20);
static_assert(offsetof(RenderSnapshot, profile_table) == 28);
static_assert(offsetof(RenderSnapshot, displace_scale) == 36);
static_assert(offsetof(RenderSnapshot, blur_amount) == 44);
static_assert(offsetof(RenderSnapshot, blur_scale) == 48);
static_assert(offsetof(RenderSnapshot, blur_on) == 56);
static_assert(offsetof(RenderSnapshot, color_mode) == 57);
static_assert(offsetof(RenderSnapshot, color_a) == 58);
static_assert(offsetof(RenderSnapshot, color_b) == 62);
static_assert(offsetof(RenderSnapshot, color_c) == 66);
static_assert(offsetof(RenderSnapshot, padding0) == 70);
static_assert(offsetof(RenderSnapshot, half_diagonal) == 72);
static_assert(offsetof(RenderSnapshot, vig_norm) == 80);
static_assert(offsetof(RenderSnapshot, vig_brightness) == 88);
static_assert(offsetof(RenderSnapshot, vig_on) == 96);
static_assert(offsetof(RenderSnapshot, vig_power) == 100);
static_assert(offsetof(RenderSnapshot, vig_maximum) == 108);
static_assert(offsetof(RenderSnapshot, vig_minimum) == 116);
static_assert(offsetof(RenderSnapshot, vig_same) == 124);
static_assert(offsetof(RenderSnapshot, vig_center_x) == 128);
static_assert(offsetof(RenderSnapshot, vig_center_y) == 132);
static_assert(offsetof(RenderSnapshot, reserved1) == 136);
static_assert(offsetof(RenderSnapshot, limiter) == 137);
static_assert(offsetof(RenderSnapshot, reserved2) == 140);
static_assert(offsetof(RenderSnapshot, samp) == 156);
static_assert(offsetof(RenderSnapshot, samp) + offsetof(PF_SampPB, src) == 172);
static_assert(offsetof(RenderSnapshot, reserved3) == 260);

inline constexpr A_HandleSize kRenderSnapshotSize = sizeof(RenderSnapshot);

// The sampling block, copied out to memory aligned for it.
inline PF_SampPB LoadSampBlock(const RenderSnapshot& snapshot) {
  PF_SampPB block;
  std::memcpy(&block, reinterpret_cast<const unsigned char*>(&snapshot) +
                          offsetof(RenderSnapshot, samp),
              sizeof block);
  return block;
}

// Names the world that samples are read from, in the snapshot's block.
inline void StoreSampSource(RenderSnapshot& snapshot, PF_EffectWorld* source) {
  std::memcpy(reinterpret_cast<unsigned char*>(&snapshot) + offsetof(RenderSnapshot, samp) +
                  offsetof(PF_SampPB, src),
              &source, sizeof source);
}

}  // namespace prismora
