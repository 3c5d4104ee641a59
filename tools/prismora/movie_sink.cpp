// A movie as the output: each thread converts its rendered frame and hands
// it to the writer, which encodes the frames in order; the movie is renamed
// into place only once every frame is in it.
#include "frame_sink.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

class Movie : public FrameSink {
 public:
  Movie(SinkContext context, const media::MovieOutput& output, int64_t first)
      : context_(std::move(context)),
        first_(first),
        writer_(output, [this](int64_t index) { context_.done(first_ + index, nullptr); }) {}

  void Take(const Job& job, minihost::World& result, const imageio::ImageMetadata&,
            const RenderCall& render) override {
    render({});
    StageTimer timer(context_.times->write);
    if (!writer_.Put(job.frame - first_, ViewOf(static_cast<const minihost::World&>(result)),
                     context_.should_stop)) {
      throw RenderStopped{};
    }
  }

  void Finish(bool complete) override {
    if (!complete) {
      writer_.Abandon();
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    writer_.Finish();
    context_.times->commit_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count());
  }

  bool whole_only() const override { return true; }

 private:
  SinkContext context_;
  int64_t first_;
  media::MovieWriter writer_;
};

}  // namespace

std::unique_ptr<FrameSink> MovieSink(SinkContext context, const media::MovieOutput& output,
                                     int64_t first) {
  return std::make_unique<Movie>(std::move(context), output, first);
}

}  // namespace prismora::cli
