#include <algorithm>
#include <cctype>
#include <string_view>

#include "imageio/image_file.h"

namespace prismora::imageio {

bool IsMovieName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static constexpr std::string_view kMovies[] = {
      ".mov", ".qt",  ".mp4", ".m4v", ".mkv", ".avi",  ".webm", ".mxf", ".mpg",
      ".mpeg", ".m2v", ".m2ts", ".mts", ".ts", ".wmv", ".flv", ".ogv", ".3gp", ".3g2", ".mj2",
      ".nut"};
  return std::find(std::begin(kMovies), std::end(kMovies), ext) != std::end(kMovies);
}

}  // namespace prismora::imageio
