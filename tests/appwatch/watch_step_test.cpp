// The watcher's edge rule: a code on each change of the display-required bit, nothing else.
#include "appwatch/watch_step.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char16_t kSuspendText[] = u"ZQWWMIAppCloseEventTraceStartEx:Suspend Proximity Sensor";
constexpr char16_t kResumeText[] = u"ZQWWMIAppCloseEventTraceStartEx:Resume Proximity Sensor";

struct StepCase {
  const char* name;
  bool last;
  bool polled;
  uint32_t state;
  bool now;
  uint32_t code;
  const char16_t* message;
};

class WatchStepRule : public testing::TestWithParam<StepCase> {};

TEST_P(WatchStepRule, Gives) {
  const StepCase& c = GetParam();
  WatchStep step = NextWatchStep(c.last, c.polled, c.state);
  EXPECT_EQ(step.displayRequired, c.now);
  EXPECT_EQ(step.controlCode, c.code);
  if (c.message == nullptr) {
    EXPECT_EQ(step.message, nullptr);
  } else {
    ASSERT_NE(step.message, nullptr);
    EXPECT_EQ(std::u16string(step.message), std::u16string(c.message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, WatchStepRule,
    testing::Values(
        StepCase{"StaysFree", false, true, 0, false, 0, nullptr},
        StepCase{"TurnsOnSuspends", false, true, 2, true, 202, kSuspendText},
        StepCase{"StaysRequired", true, true, 2, true, 0, nullptr},
        StepCase{"TurnsOffResumes", true, true, 0, false, 203, kResumeText},
        // What Wine always answers: user present, nothing else.
        StepCase{"UserPresentAlone", false, true, 4, false, 0, nullptr},
        StepCase{"EveryOtherBitAlone", false, true, ~kDisplayRequiredBit, false, 0, nullptr},
        StepCase{"OtherBitsWhileRequired", true, true, 0x80000003u, true, 0, nullptr},
        StepCase{"OtherBitsDropWhileRequired", true, true, ~kDisplayRequiredBit, false, 203,
                 kResumeText},
        StepCase{"FailedPollWhileFree", false, false, 2, false, 0, nullptr},
        StepCase{"FailedPollWhileRequired", true, false, 0, true, 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
