// The host's sampling suites: "PF Sampling8 Suite", "PF Sampling16 Suite"
// and "PF SamplingFloat Suite", version 1. The render's exact output rests
// on the subpixel sampler, so its arithmetic is fixed here:
//
// - A 16.16 position (x, y) names pixel column x / 65536 and row y / 65536;
//   pixel centres are whole numbers, so a whole-number position returns that
//   pixel exactly.
// - Otherwise the result is bilinear: ix = x >> 16 (floor), fx = x & 0xFFFF,
//   likewise iy and fy. The pixels (ix, iy), (ix+1, iy), (ix, iy+1) and
//   (ix+1, iy+1) weigh (65536-fx)(65536-fy), fx(65536-fy), (65536-fx)fy and
//   fx fy, which add up to 2^32.
// - A pixel outside the world counts as (0, 0, 0, 0) (edge behaviour zero);
//   a pixel of weight zero is not read.
// - Each channel, alpha included, is interpolated on its own, on the values
//   as stored. At 8 and 16 bits a channel is (sum of weight x value + 2^31)
//   >> 32 in unsigned 64-bit arithmetic. At float depth it is the sum, in
//   double and in the pixel order above, of (weight / 2^32) x value, starting
//   from 0.0 and skipping pixels of weight zero or outside the world; then
//   narrowed to float.
//
// The nearest-neighbour function returns the pixel whose centre is nearest,
// rounding halves up; the area function is the subpixel one (the render's
// block has zero radii).
//
// Sampling is the hot path of a render: a call counts itself in a per-thread
// counter and asks the fault injector only while a rule is armed, as
// "subpixel_sample" (every depth) and, at 16 bits and float,
// "subpixel_sample16" or "subpixel_sample_float". Samples are not written to
// the call log. It needs no current host to work.
#pragma once

#include <cstdint>

#include "minihost/host/host.h"

namespace minihost {

// Registers the three suites with the host (once; later calls do nothing).
void InstallSamplingSuites(Host& host);

const PF_Sampling8Suite1& Sampling8Suite();
const PF_Sampling16Suite1& Sampling16Suite();
const PF_SamplingFloatSuite1& SamplingFloatSuite();

// Calls of any sampling function on this thread since the last reset.
int64_t SamplesTaken();
void ResetSamplesTaken();

}  // namespace minihost
