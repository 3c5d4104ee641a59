// Pixels, rectangles and image worlds as the host hands them over, and the
// parameter block of the host's sampling suites.
#pragma once

#include "host/ae_types.h"

extern "C" {

// Channel order is alpha, red, green, blue at every depth.
struct PF_Pixel {
  A_u_char alpha;
  A_u_char red;
  A_u_char green;
  A_u_char blue;
};
typedef PF_Pixel PF_Pixel8;
typedef PF_Pixel PF_UnionablePixel;

struct PF_Pixel16 {
  A_u_short alpha;
  A_u_short red;
  A_u_short green;
  A_u_short blue;
};

struct PF_PixelFloat {
  PF_FpShort alpha;
  PF_FpShort red;
  PF_FpShort green;
  PF_FpShort blue;
};
typedef PF_PixelFloat PF_Pixel32;

typedef PF_Pixel* PF_PixelPtr;

struct PF_Point {
  A_long h;
  A_long v;
};

struct PF_LRect {
  A_long left;
  A_long top;
  A_long right;
  A_long bottom;
};
typedef PF_LRect PF_Rect;
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

// Transfer mode of the sampling block. We pass it zeroed and never read it,
// so it stays opaque: twelve bytes, four-aligned, which is what the block's
// published offsets leave for it (comp_mode at 36, mask0 at 48).
struct PF_CompositeMode {
  A_long opaque[3];
};

// Parameter block handed to every call of a sampling suite.
struct PF_SampPB {
  PF_Fixed x_radius;
  PF_Fixed y_radius;
  PF_Fixed area;
  PF_EffectWorld* src;
  PF_SampleEdgeBehav samp_behave;
  A_long allow_asynch;
  A_long motion_blur;
  PF_CompositeMode comp_mode;
  PF_PixelPtr mask0;
  A_u_char* fcm_table;
  A_u_char* fcd_table;
  A_long reserved[8];
};

}  // extern "C"
