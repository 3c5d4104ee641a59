// The host serves its tables as published: every slot of every table filled,
// the entries a plug-in has no business calling answered by traps that make
// the audit after the command fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "minihost/host/host.h"
#include "minihost/suites/parameter_suites.h"
#include "minihost/suites/render_services.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Slots of a table of entries; `skip` lists byte offsets that are reserved
// words rather than entries.
std::vector<std::size_t> EmptySlots(const void* table, std::size_t size,
                                    std::vector<std::size_t> skip = {}) {
  std::vector<std::size_t> empty;
  for (std::size_t offset = 0; offset + sizeof(void*) <= size; offset += sizeof(void*)) {
    if (std::find(skip.begin(), skip.end(), offset) != skip.end()) continue;
    void* slot = nullptr;
    std::memcpy(&slot, static_cast<const unsigned char*>(table) + offset, sizeof slot);
    if (slot == nullptr) empty.push_back(offset);
  }
  return empty;
}

struct FullHost {
  FullHost() {
    minihost::InstallParameterSuites(host);
    minihost::RenderService::Install(host);
  }
  minihost::Host host{Plugin()};
};

TEST(ServedTables, EverySlotOfEverySuiteIsFilled) {
  FullHost h;
  const auto tables = h.host.suites().Tables();
  // Handle, utility, the four AEGP suites, param utils, two world suites and
  // three sampling suites.
  EXPECT_EQ(tables.size(), 12u);
  for (const auto& t : tables) {
    EXPECT_THAT(EmptySlots(t.table, t.size), IsEmpty()) << t.name << " " << t.version;
  }
}

TEST(ServedTables, CallbackRecordsAreFilledExceptTheirReservedWords) {
  FullHost h;
  PF_InData in = h.host.MakeInData(nullptr);
  // inter: nine entries, then reserved_str[3] and reserved[10].
  EXPECT_THAT(EmptySlots(&in.inter, 72), IsEmpty());
  // utils: all but get_batch_func_is_deprecated (24), the ANSI block's reserved
  // word (360) and the reserved word at 544.
  EXPECT_THAT(EmptySlots(in.utils, 544, {24, 360}), IsEmpty());
  // The ANSI block's reserved word and the colour callbacks lie inside.
  EXPECT_THAT(EmptySlots(&in.utils->ansi, 152), IsEmpty());
  EXPECT_THAT(EmptySlots(in.pica_basicP, sizeof(SPBasicSuite)), IsEmpty());
}

TEST(ServedTables, AnEntryNoPluginShouldCallFailsTheAudit) {
  FullHost h;
  minihost::Instance& instance = h.host.NewInstance();
  h.host.CallPlugin("a stray call", &instance, [&] {
    const void* table = nullptr;
    PF_InData in = h.host.MakeInData(&instance);
    ASSERT_EQ(in.pica_basicP->AcquireSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, &table),
              0);
    const auto* streams = static_cast<const AEGP_StreamSuite2*>(table);
    streams->AEGP_GetStreamName();
    EXPECT_EQ(in.utils->host_resize_handle(8, nullptr), PF_Err_INVALID_CALLBACK);
    in.inter.register_ui();
    in.pica_basicP->ReleaseSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion2);
  });
  EXPECT_THAT(h.host.problems(),
              ElementsAre("unexpected call to AEGP_StreamSuite2.AEGP_GetStreamName",
                          "unexpected call to PF_UtilCallbacks.host_resize_handle",
                          "unexpected call to PF_InteractCallbacks.register_ui"));
}

}  // namespace
}  // namespace prismora::testing
