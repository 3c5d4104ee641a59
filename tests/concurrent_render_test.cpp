// Many frames rendered at once on several threads through the one loaded
// plug-in, each frame in a host context of its own, against the same frames
// rendered one after another in one context per setting. The outputs must be
// equal bit for bit. Built with ThreadSanitizer (the tsan preset), this is
// also the check that host contexts and the plug-in share nothing mutable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "minihost/driver/frame.h"
#include "minihost/driver/session.h"
#include "minihost/host/host.h"
#include "minihost/suites/worlds.h"
#include "render_support.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using minihost::ParamSetting;
using ::testing::IsEmpty;

constexpr A_long kWidth = 64;
constexpr A_long kHeight = 40;
constexpr int kThreads = 4;
constexpr A_long kFrames = 6;

// Settings whose result moves from frame to frame (a random or wiggled
// amount), with the blur and vignette passes on.
struct Setup {
  const char* name;
  std::vector<ParamSetting> settings;
};

const std::vector<Setup>& Setups() {
  static const std::vector<Setup> setups = {
      {"random",
       {{"Amount", "5"},
        {"Random ON", "on"},
        {"Random Mode", "Random"},
        {"Random Amplitude", "3"},
        {"Random Seed", "11"},
        {"Blur ON", "on"},
        {"Blur Amount", "2"},
        {"Vignetting ON", "on"},
        {"Vignetting Amount", "30"}}},
      {"wiggle",
       {{"Amount", "4"},
        {"Mode", "3 Colors"},
        {"Center", "35%,60%"},
        {"Random ON", "on"},
        {"Random Mode", "Wiggle"},
        {"Wiggle Freq", "4"},
        {"Wiggle Amp", "2.5"},
        {"Blur ON", "on"},
        {"Blur Amount", "3"},
        {"Vignetting ON", "on"},
        {"Vignetting Amount", "-20"},
        {"Vignetting Same", "off"},
        {"Vignetting Center", "70%,30%"}}},
  };
  return setups;
}

constexpr PF_PixelFormat kFormats[] = {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64,
                                       PF_PixelFormat_ARGB128};

// What one frame gave: the first failing code, the host's findings, and the
// output's pixels (rows without padding).
struct Result {
  PF_Err err = PF_Err_NONE;
  std::vector<std::string> problems;
  std::vector<unsigned char> pixels;
};

// One host context: its own host on the shared library, the effect applied
// to a layer with a setup's settings.
class Context {
 public:
  explicit Context(const Setup& setup) : session_(host_, kWidth, kHeight) {
    start_err_ = session_.Start();
    if (start_err_ == PF_Err_NONE) start_err_ = session_.ApplySettings(setup.settings);
  }

  Result Render(const World& input, A_long frame) {
    Result r;
    r.err = start_err_;
    if (r.err == PF_Err_NONE) {
      World output(kWidth, kHeight, input.format());
      r.err = minihost::RenderFrame(host_, session_.instance(), frame, input, output);
      const std::size_t row = static_cast<std::size_t>(kWidth) * output.pixel_bytes();
      for (A_long y = 0; y < kHeight; ++y) {
        r.pixels.insert(r.pixels.end(), output.row(y), output.row(y) + row);
      }
    }
    r.problems = session_.problems();
    r.problems.insert(r.problems.end(), host_.problems().begin(), host_.problems().end());
    return r;
  }

 private:
  minihost::Host host_{Plugin()};
  minihost::Session session_;
  PF_Err start_err_ = PF_Err_NONE;
};

struct Job {
  std::size_t setup;
  std::size_t depth;
  A_long frame;
};

TEST(ConcurrentRender, FramesOnSeveralThreadsEqualOneThread) {
  World source(kWidth, kHeight, PF_PixelFormat_ARGB32);
  FillRandom(source, 2024);
  std::vector<std::unique_ptr<World>> inputs;  // one per depth, read by every thread
  for (PF_PixelFormat format : kFormats) inputs.push_back(AtDepth(source, format));

  std::vector<Job> jobs;
  for (std::size_t s = 0; s < Setups().size(); ++s) {
    for (std::size_t d = 0; d < inputs.size(); ++d) {
      for (A_long f = 0; f < kFrames; ++f) jobs.push_back({s, d, f});
    }
  }

  // One thread, one context per setup rendering its frames in turn.
  std::vector<Result> expected(jobs.size());
  for (std::size_t s = 0; s < Setups().size(); ++s) {
    Context context(Setups()[s]);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      if (jobs[i].setup == s) expected[i] = context.Render(*inputs[jobs[i].depth], jobs[i].frame);
    }
  }

  // Several threads taking frames as they come, each frame in a new context.
  std::vector<Result> results(jobs.size());
  std::atomic<std::size_t> next{0};
  // The threads start together. A plain gate rather than std::latch: the
  // mingw runtime's atomic wait, which std::latch uses, can miss its wake-up
  // under Wine and hang the test.
  std::mutex gate;
  std::condition_variable opened;
  int waiting = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      {
        std::unique_lock lock(gate);
        if (++waiting == kThreads) opened.notify_all();
        opened.wait(lock, [&] { return waiting == kThreads; });
      }
      for (std::size_t i = next++; i < jobs.size(); i = next++) {
        Context context(Setups()[jobs[i].setup]);
        results[i] = context.Render(*inputs[jobs[i].depth], jobs[i].frame);
      }
    });
  }
  for (std::thread& t : threads) t.join();

  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    SCOPED_TRACE(std::string(Setups()[job.setup].name) + ", depth " + std::to_string(job.depth) +
                 ", frame " + std::to_string(job.frame));
    ASSERT_EQ(expected[i].err, PF_Err_NONE);
    EXPECT_THAT(expected[i].problems, IsEmpty());
    ASSERT_EQ(results[i].err, PF_Err_NONE);
    EXPECT_THAT(results[i].problems, IsEmpty());
    EXPECT_TRUE(results[i].pixels == expected[i].pixels);
    // The amount moves with time, so neighbouring frames differ: a frame
    // rendered at the wrong time would show.
    if (job.frame > 0) {
      EXPECT_FALSE(expected[i].pixels == expected[i - 1].pixels);
    }
  }
}

}  // namespace
}  // namespace prismora::testing
