// The frei0r module driven as a host drives it, in this process: the
// parameters it offers and their defaults, values outside [0, 1], text that
// names no choice, in and out in one buffer, times that are no seconds, and
// instances on several threads with init and deinit out of order.
#ifdef PRISMORA_FREI0R_MODULE_PATH

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "frei0r_support.h"

namespace prismora::testing {
namespace {

constexpr unsigned kWidth = 63;  // odd, as MLT and GStreamer send
constexpr unsigned kHeight = 47;

class Instance {
 public:
  Instance(unsigned width = kWidth, unsigned height = kHeight)
      : width_(width), height_(height), handle_(Module().construct(width, height)) {}
  ~Instance() { Module().destruct(handle_); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  f0r_instance_t handle() const { return handle_; }
  void Set(const std::string& name, double value) {
    Module().set_param_value(handle_, &value, Index(name));
  }
  void SetText(const std::string& name, const char* text) {
    Module().set_param_value(handle_, &text, Index(name));
  }
  std::vector<uint32_t> Render(double time, int frame = 0) {
    const std::vector<uint32_t> in = TestFrame(static_cast<int>(width_), static_cast<int>(height_), frame);
    std::vector<uint32_t> out(in.size());
    Module().update(handle_, time, in.data(), out.data());
    return out;
  }

 private:
  static int Index(const std::string& name) {
    const int i = Module().IndexOf(name);
    EXPECT_GE(i, 0) << name;
    return i;
  }
  unsigned width_, height_;
  f0r_instance_t handle_;
};

TEST(Frei0rModule, OffersTheControlsAUserSetsUnderTheirNames) {
  ASSERT_EQ(Module().init(), 1);
  f0r_plugin_info_t info{};
  Module().get_plugin_info(&info);
  EXPECT_STREQ(info.name, "prismora");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);

  const struct {
    const char* name;
    int type;  // -1: not offered
  } cases[] = {
      {"Amount", F0R_PARAM_DOUBLE},
      {"Center X", F0R_PARAM_DOUBLE},
      {"Center Y", F0R_PARAM_DOUBLE},
      {"Blur ON", F0R_PARAM_BOOL},
      {"Mode", F0R_PARAM_STRING},
      {"Random Mode", F0R_PARAM_STRING},
      {"Color3", F0R_PARAM_COLOR},
      {"Wiggle Freq", F0R_PARAM_DOUBLE},  // hidden only until "Random Mode" is Wiggle
      {"Vignetting Center Y", F0R_PARAM_DOUBLE},
      {"Limiter", F0R_PARAM_BOOL},
      {"random", -1},     // the plug-in's own expression target, always hidden
      {"Blur Mode", -1},  // always hidden
      {"Center", -1},     // a point is two numbers: MLT never sets positions
      {"Blur", -1},       // a group
  };
  for (const auto& c : cases) {
    const int i = Module().IndexOf(c.name);
    if (c.type < 0) {
      EXPECT_EQ(i, -1) << c.name;
      continue;
    }
    ASSERT_GE(i, 0) << c.name;
    f0r_param_info_t p{};
    Module().get_param_info(&p, i);
    EXPECT_EQ(p.type, c.type) << c.name;
  }
  f0r_param_info_t amount{};
  Module().get_param_info(&amount, Module().IndexOf("Amount"));
  EXPECT_NE(std::string(amount.explanation).find("0.3 is 3"), std::string::npos)
      << amount.explanation;
}

TEST(Frei0rModule, DefaultsAreThePluginsMappedOntoZeroToOne) {
  Instance instance;
  const struct {
    const char* name;
    double expected;
  } numbers[] = {
      {"Amount", 0.1},  // 1 of 0..10
      {"Power", 1.5 / 9.5},  // 2 of 0.5..10
      {"Center X", 0.5},
      {"Random Fps", 29.0 / 99.0},  // 30 of 1..100: the valid range (the slider's is 0..1)
      {"Vignetting Amount", 0.5},  // 0 of -50..50
      {"Limiter", 1.0},
      {"Blur ON", 0.0},
  };
  for (const auto& c : numbers) {
    double value = -1;
    Module().get_param_value(instance.handle(), &value, Module().IndexOf(c.name));
    EXPECT_DOUBLE_EQ(value, c.expected) << c.name;
  }
  f0r_param_color_t color{};
  Module().get_param_value(instance.handle(), &color, Module().IndexOf("Color2"));
  EXPECT_EQ(color.r, 0.0f);
  EXPECT_EQ(color.b, 1.0f);
  char* text = nullptr;
  Module().get_param_value(instance.handle(), &text, Module().IndexOf("Mode"));
  EXPECT_STREQ(text, "2 Colors");
}

// Hosts pass numbers raw (ffmpeg) or not at all outside [0, 1]; text that
// names no choice is said once and changes nothing.
TEST(Frei0rModule, ValuesOutsideTheirRangeClampOrChangeNothing) {
  const struct {
    const char* name;
    double value, same_as;
  } cases[] = {
      {"Amount", 7.0, 1.0},
      {"Amount", -3.0, 0.0},
      {"Amount", std::numeric_limits<double>::quiet_NaN(), 0.1},  // stays at the default
      {"Center X", 1.5, 1.0},
  };
  for (const auto& c : cases) {
    Instance a, b;
    a.Set(c.name, c.value);
    b.Set(c.name, c.same_as);
    EXPECT_EQ(a.Render(0), b.Render(0)) << c.name << " " << c.value;
  }
  Instance named, numbered, unknown, plain;
  named.SetText("Mode", "1 color");
  numbered.SetText("Mode", "1");
  unknown.SetText("Mode", "9 Colors");
  EXPECT_EQ(named.Render(0), numbered.Render(0));
  EXPECT_NE(named.Render(0), plain.Render(0));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(unknown.Render(0), plain.Render(0));
  EXPECT_EQ(unknown.Render(0), plain.Render(0));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("\"Mode\" has no choice \"9 Colors\""), std::string::npos) << err;
  EXPECT_EQ(err.find("9 Colors"), err.rfind("9 Colors")) << "said once: " << err;
}

TEST(Frei0rModule, InAndOutMayBeOneBuffer) {
  Instance instance;
  instance.Set("Amount", 0.5);
  instance.Set("Blur ON", 1.0);
  const std::vector<uint32_t> separate = instance.Render(0);
  std::vector<uint32_t> frame = TestFrame(kWidth, kHeight, 0);
  ASSERT_NE(separate, frame);
  Module().update(instance.handle(), 0, frame.data(), frame.data());
  EXPECT_EQ(frame, separate);
}

// ffmpeg passes milliseconds, or garbage; without jitter the time changes
// nothing, and no time breaks a render.
TEST(Frei0rModule, TimesThatAreNoSecondsStillRender) {
  Instance instance;
  instance.Set("Amount", 0.4);
  const std::vector<uint32_t> at_zero = instance.Render(0);
  for (const double t : {40.0, 40000.0, -5.0, 1e300, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(instance.Render(t), at_zero) << t;
  }
  Instance jitter;
  jitter.Set("Random ON", 1.0);
  jitter.Set("Random Amplitude", 1.0);
  EXPECT_NE(jitter.Render(0), jitter.Render(0.5)) << "the jitter follows the time";
  EXPECT_EQ(jitter.Render(1e300).size(), at_zero.size());
}

// MLT constructs and renders an instance per render thread; ffmpeg calls
// f0r_deinit while another instance lives. Under ThreadSanitizer this is
// also the check that instances share nothing mutable.
TEST(Frei0rModule, InstancesOnTwoThreadsRenderAsOneDoes) {
  constexpr int kFrames = 4;
  auto render_all = [](std::vector<std::vector<uint32_t>>& frames) {
    Instance instance;
    instance.Set("Random ON", 1.0);
    instance.SetText("Random Mode", "Wiggle");
    instance.Set("Wiggle Freq", 0.05);
    instance.Set("Vignetting ON", 1.0);
    for (int f = 0; f < kFrames; ++f) frames.push_back(instance.Render(f / 25.0, f));
  };
  std::vector<std::vector<uint32_t>> alone;
  render_all(alone);

  ASSERT_EQ(Module().init(), 1);
  Module().deinit();  // out of order: instances may still come and go
  std::vector<std::vector<uint32_t>> a, b;
  std::thread first(render_all, std::ref(a));
  std::thread second(render_all, std::ref(b));
  first.join();
  second.join();
  EXPECT_EQ(a, alone);
  EXPECT_EQ(b, alone);
}

// Kdenlive and Shotcut set the filter's properties by these names: each must
// be one of the module's, and Kdenlive's description must cover them all.
TEST(Frei0rModule, KdenliveAndShotcutNameItsParameters) {
  const std::string kdenlive =
      ReadBytes(std::filesystem::path(PRISMORA_FREI0R_SOURCE_DIR) / "kdenlive/frei0r_prismora.xml");
  std::set<std::string> described;
  const std::regex parameter(R"re(<parameter type="[a-z]+" name="([^"]+)")re");
  for (auto it = std::sregex_iterator(kdenlive.begin(), kdenlive.end(), parameter);
       it != std::sregex_iterator(); ++it) {
    described.insert((*it)[1]);
  }
  f0r_plugin_info_t info{};
  Module().get_plugin_info(&info);
  EXPECT_EQ(described.size(), static_cast<std::size_t>(info.num_params));
  for (const std::string& name : described) EXPECT_GE(Module().IndexOf(name), 0) << name;

  const std::string shotcut =
      ReadBytes(std::filesystem::path(PRISMORA_FREI0R_SOURCE_DIR) / "shotcut/prismora/ui.qml");
  // Names in filter.set/get calls and first in each slider's row; not the
  // popup's choices.
  const std::regex used(
      R"re((?:\[|filter\.set\(|filter\.getDouble\(|filter\.get\()'([^']+)'(?=, -?[0-9]|, [a-z]|\)))re");
  int names = 0;
  for (auto it = std::sregex_iterator(shotcut.begin(), shotcut.end(), used);
       it != std::sregex_iterator(); ++it, ++names) {
    const std::string name = (*it)[1];
    if (name != "threads") {
      EXPECT_GE(Module().IndexOf(name), 0) << name;
    }
  }
  EXPECT_GT(names, 8);
}

}  // namespace
}  // namespace prismora::testing

#endif  // PRISMORA_FREI0R_MODULE_PATH
