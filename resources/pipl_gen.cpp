// Writes the PiPL bytes to a file for the Windows resource script.
#include <cstdio>

#include "pipl.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pipl_gen OUTPUT\n");
    return 2;
  }
  constexpr auto bytes = prismora::pipl::Bytes();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !ok) {
    std::fprintf(stderr, "pipl_gen: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
