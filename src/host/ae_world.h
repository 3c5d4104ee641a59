// Pixels, rectangles and image worlds as the host hands them over, and the
// parameter block of the host's sampling suites.
#pragma once

#include "host/ae_types.h"

extern "C" {

// Channel order is alpha, red, green, blue at every depth.
struct PF_Pixel {
  A_u_char alpha, red, green, blue;
};
typedef PF_Pixel PF_Pixel8;

struct PF_Pixel16 {
  A_u_short alpha, red, green, blue;
};

struct PF_PixelFloat {
  PF_FpShort alpha, red, green, blue;
};
typedef PF_PixelFloat PF_Pixel32;

typedef PF_Pixel* PF_PixelPtr;

struct PF_Point {
  A_long h, v;
};

struct PF_Rect {
  A_long left, top, right, bottom;
};
typedef PF_Rect PF_LRect;
typedef PF_Rect PF_UnionableRect;

struct PF_RationalScale {
  A_long num;
  A_u_long den;
};

// An image. `data` points at row 0; rows are `rowbytes` apart, which may be
// more than width times the pixel size.
struct PF_LayerDef {
  void* reserved0;
  void* reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_UnionableRect extent_hint;
  void* platform_ref;
  A_long reserved_long1;
  void* reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void* reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;
};
typedef PF_LayerDef PF_EffectWorld;

// Parameter block handed to every call of a sampling suite.
struct PF_SampPB {
  PF_Fixed x_radius;
  PF_Fixed y_radius;
  PF_Fixed area;
  PF_EffectWorld* src;
  PF_SampleEdgeBehav samp_behave;
  A_long allow_asynch;
  A_long motion_blur;
  A_long comp_mode;
  PF_PixelPtr mask0;
  A_u_char* fcm_table;
  A_u_char* fcd_table;
  A_long reserved[10];
};

}  // extern "C"

static_assert(sizeof(PF_Pixel) == 4);
static_assert(sizeof(PF_Pixel16) == 8);
static_assert(sizeof(PF_PixelFloat) == 16);
static_assert(sizeof(PF_Rect) == 16);
static_assert(sizeof(PF_LayerDef) == 120);
static_assert(sizeof(PF_SampPB) == 104);
static_assert(offsetof(PF_SampPB, src) == 16);
