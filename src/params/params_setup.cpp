// PF_Cmd_PARAMS_SETUP: declares the parameters of the table, in its order.
#include <cstring>

#include "entry/handlers.h"
#include "params/param_table.h"

namespace prismora {
namespace {

// Fills a cleared record from one row of the table.
void FillParamDef(const ParamRow& row, const PF_ANSICallbacksBlock& ansi, PF_ParamDef& def) {
  def.param_type = row.type;
  def.flags = row.flags;
  def.uu.id = row.index;
  if (row.type != PF_Param_GROUP_END) ansi.strcpy(def.name_do_not_use_directly, row.name);

  switch (row.type) {
    case PF_Param_FIX_SLIDER: {
      PF_FixedSliderDef& fd = def.u.fd;
      fd.value = fd.dephault = ToFixed(row.dephault);
      fd.valid_min = ToFixed(row.valid_min);
      fd.valid_max = ToFixed(row.valid_max);
      fd.slider_min = ToFixed(row.slider_min);
      fd.slider_max = ToFixed(row.slider_max);
      fd.precision = row.precision;
      break;
    }
    case PF_Param_FLOAT_SLIDER: {
      PF_FloatSliderDef& fs = def.u.fs_d;
      fs.value = row.dephault;
      fs.dephault = static_cast<PF_FpShort>(row.dephault);
      fs.valid_min = static_cast<PF_FpShort>(row.valid_min);
      fs.valid_max = static_cast<PF_FpShort>(row.valid_max);
      fs.slider_min = static_cast<PF_FpShort>(row.slider_min);
      fs.slider_max = static_cast<PF_FpShort>(row.slider_max);
      fs.precision = row.precision;
      fs.curve_tolerance = row.curve_tolerance;
      break;
    }
    case PF_Param_POINT: {
      // Percent of the layer: the host turns the default into its centre.
      PF_PointDef& td = def.u.td;
      td.x_value = td.x_dephault = ToFixed(row.point_x);
      td.y_value = td.y_dephault = ToFixed(row.point_y);
      td.restrict_bounds = 1;
      break;
    }
    case PF_Param_CHECKBOX: {
      PF_CheckBoxDef& bd = def.u.bd;
      bd.value = row.dephault != 0 ? 1 : 0;
      bd.dephault = static_cast<PF_Boolean>(bd.value);
      bd.u.nameptr = "";
      break;
    }
    case PF_Param_POPUP: {
      PF_PopupDef& pd = def.u.pd;
      pd.num_choices = row.num_choices;
      pd.dephault = static_cast<A_short>(row.dephault);
      pd.value = pd.dephault;
      pd.u.namesptr = row.choices;
      break;
    }
    case PF_Param_COLOR:
      def.u.cd.value = def.u.cd.dephault = row.color;
      break;
    default:  // groups carry nothing beyond name, flags and id
      break;
  }
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
                   PF_LayerDef* /*output*/) {
  if (in_data->inter.add_param == nullptr || in_data->utils->ansi.strcpy == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  for (const ParamRow& row : kParamTable) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    FillParamDef(row, in_data->utils->ansi, def);
    if (const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def)) return err;
  }
  out_data->num_params = PARAM_NUM_PARAMS;
  return PF_Err_NONE;
}

}  // namespace prismora
