#include "movie_timeline.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "commands.h"

namespace prismora::cli {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double Seconds(int64_t ticks, const media::Fraction& time_base) {
  return static_cast<double>(ticks) * time_base.value();
}

// Frame n's layer time from its presentation time, in the stream's own
// ticks, so that a variable rate is told exactly.
HostTime TimeOfTicks(int64_t n, int64_t ticks, int64_t step, const media::Fraction& time_base) {
  const int64_t value = ticks * time_base.num;
  if (value > std::numeric_limits<A_long>::max() || value < std::numeric_limits<A_long>::min() ||
      time_base.den > std::numeric_limits<A_u_long>::max()) {
    throw UsageError{"frame " + std::to_string(n) + " lies beyond the host's time (at most " +
                     std::to_string(std::numeric_limits<A_long>::max() / time_base.den *
                                    time_base.num) +
                     " seconds in this movie's time base)"};
  }
  const int64_t scaled_step = std::clamp<int64_t>(step * time_base.num, 1,
                                                  std::numeric_limits<A_long>::max());
  return HostTime{static_cast<A_long>(value), static_cast<A_long>(scaled_step),
                  static_cast<A_u_long>(time_base.den)};
}

// The span of the movie's clock that output frames first..last cover.
void SpanAudio(MovieTimeline& t, int64_t first, int64_t last, int64_t count, double start,
               double from, double to) {
  t.audio_start = first == 0 ? -kInfinity : from;
  t.audio_end = last == count - 1 ? kInfinity : to;
  t.audio_shift = from - start;
}

}  // namespace

int64_t RenderedFrames(const media::MovieInfo& info, const std::optional<media::FrameRate>& fps) {
  if (!fps) return info.frames;
  const double length = Seconds(info.end_time - info.times.front(), info.time_base);
  return std::max<int64_t>(1, static_cast<int64_t>(std::ceil(length * fps->value() - 1e-6)));
}

MovieTimeline PlanMovie(const media::MovieInfo& info, const std::optional<media::FrameRate>& fps,
                        const FrameRange& range) {
  MovieTimeline t;
  const std::vector<int64_t>& times = info.times;
  const int64_t t0 = times.front();
  const double start = Seconds(t0, info.time_base);
  if (!fps) {
    t.time_base = info.time_base;
    t.rate = info.rate;
    t.variable_rate = !info.constant_rate;
    const int64_t shift = times[range.first] - t0;
    for (int64_t n = range.first; n <= range.last; ++n) {
      const auto i = static_cast<std::size_t>(n);
      const int64_t end = n + 1 < info.frames ? times[i + 1] : info.end_time;
      // A constant rate's times are the rate's, which the container's time
      // base may only round.
      const HostTime time = info.constant_rate
                                ? TimeOfFrame(n, info.rate)
                                : TimeOfTicks(n, times[i] - t0, end - times[i], info.time_base);
      t.frames.push_back({n, time, times[i] - shift});
    }
    const int64_t after = range.last + 1 < info.frames
                              ? times[static_cast<std::size_t>(range.last + 1)]
                              : info.end_time;
    SpanAudio(t, range.first, range.last, info.frames, start,
              Seconds(times[static_cast<std::size_t>(range.first)], info.time_base),
              Seconds(after, info.time_base));
    return t;
  }
  t.time_base = {fps->den, fps->num};
  t.rate = *fps;
  const int64_t origin = std::llround(start * fps->value());
  // Ticks of the movie per output frame, kept as a fraction.
  const long double per_frame = static_cast<long double>(fps->den) * info.time_base.den /
                                (static_cast<long double>(fps->num) * info.time_base.num);
  for (int64_t n = range.first; n <= range.last; ++n) {
    const long double instant = static_cast<long double>(t0) + n * per_frame;
    const auto shown = std::upper_bound(times.begin(), times.end(),
                                        static_cast<int64_t>(std::floor(instant + 1e-6L)));
    const int64_t input = std::max<int64_t>(0, (shown - times.begin()) - 1);
    t.frames.push_back({input, TimeOfFrame(n, *fps), origin + n - range.first});
  }
  const double frame = 1.0 / fps->value();
  SpanAudio(t, range.first, range.last, RenderedFrames(info, fps), start,
            start + static_cast<double>(range.first) * frame,
            start + static_cast<double>(range.last + 1) * frame);
  return t;
}

void DescribeOutput(const MovieTimeline& timeline, const std::filesystem::path& movie,
                    const media::FrameRate& movie_rate, media::MovieOutput& output) {
  output.rate = timeline.rate;
  output.time_base = timeline.time_base;
  output.variable_rate = timeline.variable_rate;
  output.times.clear();
  for (const MovieFrame& f : timeline.frames) output.times.push_back(f.pts);
  output.audio_from = movie;
  output.audio_start = timeline.audio_start;
  output.audio_end = timeline.audio_end;
  output.audio_shift = timeline.audio_shift;
  // The timecode counts the movie's own frames up to the first rendered.
  output.timecode_rate = movie_rate;
  output.timecode_frames = std::llround(timeline.audio_shift * movie_rate.value());
}

}  // namespace prismora::cli
