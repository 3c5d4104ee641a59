// Parameter definitions and the parameter-state record.
#pragma once

#include "host/ae_world.h"

extern "C" {

struct PF_SliderDef {
  A_long value;
  PF_Fixed value_str_unused;
  A_long valid_min, valid_max;
  A_long slider_min, slider_max;
  A_long dephault;
};

struct PF_FixedSliderDef {
  PF_Fixed value;
  PF_Fixed valid_min, valid_max;
  PF_Fixed slider_min, slider_max;
  PF_Fixed dephault;
  A_short precision;
  A_short display_flags;
  A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
  A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
};

struct PF_FloatSliderDef {
  PF_FpLong value;
  PF_FpLong phase;
  A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
  PF_FpShort valid_min, valid_max;
  PF_FpShort slider_min, slider_max;
  PF_FpShort dephault;
  A_short precision;
  A_short display_flags;
  A_u_long fs_flags;
  PF_FpShort curve_tolerance;
  A_long use_exponent;
  PF_FpShort exponent;
};

struct PF_PointDef {
  PF_Fixed x_value, y_value;
  A_char reserved[3];
  PF_Boolean restrict_bounds;
  PF_Fixed x_dephault, y_dephault;
};

struct PF_CheckBoxDef {
  A_long value;
  A_long reserved;
  PF_Boolean dephault;
  PF_Boolean reserved1[3];
  union {
    const A_char* nameptr;
  } u;
};

struct PF_PopupDef {
  A_long value;
  A_short num_choices;
  A_short dephault;
  union {
    const A_char* namesptr;
  } u;
};

struct PF_ColorDef {
  PF_Pixel value;
  PF_Pixel dephault;
};

union PF_ParamDefUnion {
  PF_LayerDef ld;
  PF_SliderDef sd;
  PF_FixedSliderDef fd;
  PF_FloatSliderDef fs_d;
  PF_PointDef td;
  PF_CheckBoxDef bd;
  PF_PopupDef pd;
  PF_ColorDef cd;
};

struct PF_ParamDef {
  union {
    A_long id;
    PF_ChangeFlags change_flags;
  } uu;
  PF_ParamUIFlags ui_flags;
  A_short ui_width;
  A_short ui_height;
  PF_ParamType param_type;
  A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
  PF_ParamFlags flags;
  A_long unused;
  PF_ParamDefUnion u;
};
typedef PF_ParamDef* PF_ParamDefPtr;
typedef PF_ParamDef** PF_ParamList;

// Opaque parameter-state record of the host.
struct PF_State {
  A_long reserved[4];
};

}  // extern "C"

static_assert(sizeof(PF_ParamDefUnion) == 120);
static_assert(sizeof(PF_ParamDef) == 176);
static_assert(offsetof(PF_ParamDef, u) == 56);
static_assert(sizeof(PF_State) == 16);
