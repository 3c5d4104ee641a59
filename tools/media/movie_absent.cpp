// Movies in a build without FFmpeg: the interface stays, every movie is
// refused as not available in this build.
#include "media/movie_reader.h"
#include "media/movie_writer.h"

namespace prismora::media {
namespace {

[[noreturn]] void Unavailable() {
  throw MovieError("movies are not available in this build of prismora (built without FFmpeg): "
                   "use image sequences");
}

}  // namespace

bool HaveMovies() { return false; }
void SetLibraryLogs(bool) {}

struct MovieReader::State {};
MovieReader::MovieReader(const std::filesystem::path&, imageio::InputAlpha) { Unavailable(); }
MovieReader::~MovieReader() = default;
const std::filesystem::path& MovieReader::path() const { Unavailable(); }
const MovieInfo& MovieReader::info() const { Unavailable(); }
void MovieReader::SetFrames(const std::vector<int64_t>&) { Unavailable(); }
void MovieReader::ReadFrame(int64_t, const imageio::MutableRasterView&) { Unavailable(); }

Codec DefaultCodec(const std::filesystem::path&) { return Codec::kFfv1; }
std::vector<std::string> CheckMovieOutput(const MovieOutput&) { Unavailable(); }

struct MovieWriter::State {};
MovieWriter::MovieWriter(const MovieOutput&, std::function<void(int64_t)>) { Unavailable(); }
MovieWriter::~MovieWriter() = default;
bool MovieWriter::Put(int64_t, const imageio::RasterView&, const std::function<bool()>&) {
  Unavailable();
}
void MovieWriter::Finish() { Unavailable(); }
void MovieWriter::Abandon() {}

}  // namespace prismora::media
