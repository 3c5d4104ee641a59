// A movie's frames on the render's clock: which frame of the movie each
// output frame shows, the layer time the host is told for it, and its time
// on the output movie.
//
// By default every frame keeps its own presentation time (a variable rate
// stays variable, a start offset stays), and the host's time is the layer's:
// 0 at the movie's first frame. A constant rate is made only when asked:
// output frame n lies n/F after the first frame and shows the frame shown
// at that instant, repeating or dropping frames as an editor conforming the
// clip does.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "effect_renderer.h"
#include "media/movie_names.h"
#include "media/movie_reader.h"
#include "media/movie_writer.h"
#include "sequence.h"

namespace prismora::cli {

struct MovieFrame {
  int64_t input = 0;  // the movie's frame it shows
  HostTime time;      // the layer's time
  int64_t pts = 0;    // on the output movie, in MovieTimeline::time_base units
};

struct MovieTimeline {
  std::vector<MovieFrame> frames;  // the range's, in order
  media::Fraction time_base;       // of the output's times
  media::FrameRate rate;           // the output's nominal rate
  bool variable_rate = false;      // the frames are not evenly spaced
  // The movie's audio that goes with them: its span in seconds on the
  // movie's clock (open at either end of the movie, so that an encoder's
  // priming and a tail are kept), and how far it moves back on the output.
  double audio_start = -std::numeric_limits<double>::infinity();
  double audio_end = std::numeric_limits<double>::infinity();
  double audio_shift = 0;
};

// The frames a render of the movie has: its own, or at `fps` as many as
// cover its length.
int64_t RenderedFrames(const media::MovieInfo& info, const std::optional<media::FrameRate>& fps);

// Output frames `range` (counted as RenderedFrames counts) of the movie.
// A range that starts later moves back to the movie's start, so the output
// begins where the movie does. Throws UsageError for a time the host's
// 32-bit time cannot hold.
MovieTimeline PlanMovie(const media::MovieInfo& info, const std::optional<media::FrameRate>& fps,
                        const FrameRange& range);

// The output movie's frames at the timeline's times, with the audio of their
// span of `movie`'s clock and its timecode moved on to the first of them.
void DescribeOutput(const MovieTimeline& timeline, const std::filesystem::path& movie,
                    const media::FrameRate& movie_rate, media::MovieOutput& output);

}  // namespace prismora::cli
