// What the effect says about itself. The PiPL resource and GlobalSetup are
// both built from these constants, so the two can never disagree.
#pragma once

#include "host/ae_types.h"

namespace prismora {

inline constexpr const char* kEffectName = "Prismora";
inline constexpr const char* kEffectCategory = "Norvik";
inline constexpr const char* kEffectMatchName = "Prismora by Tolvane";
inline constexpr const char* kEntryPointName = "EntryPointFunc";

inline constexpr A_u_long kMajorVersion = 1;
inline constexpr A_u_long kMinorVersion = 0;
inline constexpr A_u_long kBugVersion = 0;
inline constexpr A_u_long kBuildVersion = 1;
inline constexpr A_u_long kMyVersion =
    PF_VERSION(kMajorVersion, kMinorVersion, kBugVersion, PF_Stage_RELEASE, kBuildVersion);
static_assert(kMyVersion == 0x00080601);

inline constexpr PF_OutFlags kOutFlags = PF_OutFlag_USE_OUTPUT_EXTENT |
                                         PF_OutFlag_PIX_INDEPENDENT |
                                         PF_OutFlag_DEEP_COLOR_AWARE |
                                         PF_OutFlag_SEND_UPDATE_PARAMS_UI;
static_assert(kOutFlags == 0x06000440);

inline constexpr PF_OutFlags2 kOutFlags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                                           PF_OutFlag2_SUPPORTS_SMART_RENDER |
                                           PF_OutFlag2_FLOAT_COLOR_AWARE;
static_assert(kOutFlags2 == 0x00001408);

// About box: "%s, v%d.%d%d\r%s" with these.
inline constexpr const char* kAboutFormat = "%s, v%d.%d%d\r%s";
inline constexpr const char* kAboutName = "Norvikmade";
inline constexpr const char* kAboutDescription = "Duzezoruruv!";

}  // namespace prismora
