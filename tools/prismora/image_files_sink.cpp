// Image files as the output: each frame written into its own temporary file
// (while it renders, when a thread is to spare), then committed in place on
// the commit queue's thread.
#include <atomic>
#include <exception>
#include <thread>

#include "finished_rows.h"
#include "frame_sink.h"
#include "imageio/pending_file.h"
#include "world_raster.h"

namespace prismora::cli {
namespace {

class ImageFiles : public FrameSink {
 public:
  ImageFiles(SinkContext context, bool write_alongside)
      : context_(std::move(context)), write_alongside_(write_alongside), commits_(context_.done) {}

  void Take(const Job& job, minihost::World& result, const imageio::ImageMetadata& metadata,
            const RenderCall& render) override {
    std::unique_ptr<imageio::PendingFile> pending;
    if (write_alongside_) {
      pending = RenderWhileWriting(job, result, metadata, render);
    } else {
      render({});
      // A finished frame is written whole even when a stop comes meanwhile.
      pending = std::make_unique<imageio::PendingFile>(job.output);
      StageTimer timer(context_.times->write);
      imageio::WriteImage(*pending, ViewOf(result), metadata);
    }
    commits_.Commit(job.frame, std::move(pending));
  }

  void Finish(bool) override {
    commits_.Finish();
    context_.times->commit_ns.store(commits_.busy_ns());
  }

  bool whole_only() const override { return false; }

 private:
  // Renders a frame on this thread while another writes its finished rows
  // to the file; returns the written file. A render that fails or is
  // stopped takes the file with it; a finished frame is written whole even
  // when a stop comes meanwhile.
  std::unique_ptr<imageio::PendingFile> RenderWhileWriting(const Job& job,
                                                           const minihost::World& result,
                                                           const imageio::ImageMetadata& metadata,
                                                           const RenderCall& render) {
    auto pending = std::make_unique<imageio::PendingFile>(job.output);
    FinishedRows finished;
    std::exception_ptr write_failure;
    std::atomic<bool> write_failed{false};
    std::thread writer([&] {
      try {
        StageTimer timer(context_.times->write);
        imageio::WriteImage(*pending, ViewOf(result), metadata,
                            [&](int rows) { return finished.WaitFor(rows); });
      } catch (...) {
        write_failure = std::current_exception();
        write_failed.store(true);
      }
    });
    try {
      render([&](const RenderProgress& progress) {
        finished.Publish(progress.final_rows);
        // A file that cannot be written ends its render.
        return !write_failed.load();
      });
    } catch (const RenderStopped&) {
      finished.Abandon();
      writer.join();
      if (write_failure) std::rethrow_exception(write_failure);
      throw;
    } catch (...) {
      finished.Abandon();
      writer.join();
      throw;
    }
    finished.Publish(result.height());
    writer.join();
    if (write_failure) std::rethrow_exception(write_failure);
    return pending;
  }

  SinkContext context_;
  bool write_alongside_;
  CommitQueue commits_;
};

}  // namespace

std::unique_ptr<FrameSink> ImageFilesSink(SinkContext context, bool write_alongside) {
  return std::make_unique<ImageFiles>(std::move(context), write_alongside);
}

}  // namespace prismora::cli
