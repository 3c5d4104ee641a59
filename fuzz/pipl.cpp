// The PiPL reader on arbitrary bytes, as a library file (ELF or PE) and as a
// PiPL by itself. Every outcome is either a clear error (a HostError with a
// message) or a description that holds what a host needs; anything else, an
// out-of-bounds read included (the sanitizers), aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>
#include <string>
#include <vector>

#include "minihost/base/error.h"
#include "minihost/loading/library_file.h"
#include "minihost/loading/pipl.h"

namespace {

[[noreturn]] void Violation(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_pipl: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

// Runs `read`; a HostError must carry a message, and nothing else may escape.
template <class Read>
bool Refused(const char* reader, Read read) {
  try {
    read();
    return false;
  } catch (const minihost::HostError& e) {
    if (e.what()[0] == '\0') Violation("an error without a message from", reader);
    return true;
  } catch (const std::exception& e) {
    Violation("an exception other than HostError from", std::string(reader) + ": " + e.what());
  }
}

void CheckDescription(const minihost::PiplInfo& info, std::size_t size) {
  if (info.kind != "eFKT" || info.name.empty() || info.entry_point.empty()) {
    Violation("a PiPL accepted without kind, name or entry point");
  }
  std::size_t bytes = 0;
  for (const minihost::PiplProperty& p : info.properties) {
    if (p.vendor != "8BIM" || p.key.size() != 4) Violation("a property accepted with a bad header");
    bytes += 16 + p.data.size();
  }
  if (bytes > size) Violation("properties larger than the PiPL they came from");
  // What `prismora info` shows of it.
  (void)minihost::VersionText(info.version);
  (void)minihost::OutFlagNames(info.out_flags);
  (void)minihost::OutFlag2Names(info.out_flags2);
  (void)minihost::DescribeFlagDifference(info.out_flags, ~info.out_flags, false);
}

void ReadPipl(std::span<const uint8_t> bytes) {
  minihost::PiplInfo info;
  if (!Refused("ParsePipl", [&] { info = minihost::ParsePipl(bytes); })) {
    CheckDescription(info, bytes.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  std::vector<uint8_t> pipl;
  if (!Refused("FindPipl", [&] { pipl = minihost::FindPipl(bytes); })) {
    if (pipl.size() > size) Violation("a PiPL larger than the file it came from");
    ReadPipl(pipl);
  }
  // Each reader on its own, whatever the magic number says.
  Refused("FindPiplInElf", [&] { (void)minihost::FindPiplInElf(bytes); });
  Refused("FindPiplInPe", [&] { (void)minihost::FindPiplInPe(bytes); });
  ReadPipl(bytes);
  return 0;
}
