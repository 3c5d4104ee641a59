// Where the frames of prismora render go: "frame N out", frames handed over
// on several threads in any order. Image files (one, or one per frame of a
// sequence) are written and committed frame by frame; a movie takes the
// frames in order and is written whole or not at all. Each kind is a file of
// its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "commit_queue.h"
#include "effect_renderer.h"
#include "imageio/image_file.h"
#include "media/movie_writer.h"
#include "minihost/suites/worlds.h"
#include "render_job.h"
#include "stage_times.h"

namespace prismora::cli {

// Renders the frame into its output world; `rows`, when given, is told of
// every progress report too and may stop the render.
using RenderCall = std::function<void(const RowObserver& rows)>;

class FrameSink {
 public:
  virtual ~FrameSink() = default;

  // Renders the frame of `job` into `result` through `render` and takes it
  // (writes it, or queues it to be written). Safe on several threads at
  // once. Throws RenderStopped when the work stopped meanwhile.
  virtual void Take(const Job& job, minihost::World& result,
                    const imageio::ImageMetadata& metadata, const RenderCall& render) = 0;
  // Once every thread has ended: `complete` when every frame was taken and
  // nothing failed. Throws when the output cannot be finished.
  virtual void Finish(bool complete) = 0;
  // The output is written whole or not at all (a movie), rather than frame
  // by frame.
  virtual bool whole_only() const = 0;
};

// Told of each frame in place (`error` null), or of the failure to put it.
using FrameDone = CommitQueue::Done;

struct SinkContext {
  FrameDone done;
  std::function<bool()> should_stop;
  StageTimes* times = nullptr;
};

// One image file per job (a still, or a sequence's frames). With
// `write_alongside`, each frame's file is written on a thread of its own
// while the frame renders, row strip by row strip.
std::unique_ptr<FrameSink> ImageFilesSink(SinkContext context, bool write_alongside);

// A movie of frames first.., set up (and its problems found) now.
std::unique_ptr<FrameSink> MovieSink(SinkContext context, const media::MovieOutput& output,
                                     int64_t first);

}  // namespace prismora::cli
