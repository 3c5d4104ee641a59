// Places the PiPL in the library's ".pipl" section, where a host reads it
// from the file without running any of the library's code.
#include "pipl.h"

namespace {

#if defined(__ELF__)
__attribute__((used, section(".pipl")))
#endif
constexpr std::array<uint8_t, prismora::pipl::kSize> kPiPL = prismora::pipl::Bytes();

}  // namespace
