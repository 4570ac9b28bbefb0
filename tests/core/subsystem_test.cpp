// The walks over the subsystem list: start forward and stop backward (both
// only where wanted), pause forward and resume backward, the reset backward
// and the runtime start forward; absent operations are skipped.
#include <gtest/gtest.h>

#include <string>

#include "core/subsystem.h"

namespace zelt {
namespace {

std::string g_log;
bool g_b_wanted = true;

const Subsystem kA{
    .name = "a",
    .start = [] { return g_log += "+a", true; },
    .stop = [] { g_log += "-a"; },
    .closing = [] { g_log += "!a"; },
    .pause = [] { g_log += "pa"; },
    .resume = [] { g_log += "ra"; },
    .reset = [] { g_log += "xa"; },
    .runtime_start = [] { g_log += "sa"; },
};
const Subsystem kB{
    .name = "b",
    .wanted = [] { return g_b_wanted; },
    .start = [] { return g_log += "+b", true; },
    .stop = [] { g_log += "-b"; },
    .pause = [] { g_log += "pb"; },
    .resume = [] { g_log += "rb"; },
    .reset = [] { g_log += "xb"; },
};
const Subsystem kEmpty{.name = "empty"};
constexpr const Subsystem* kList[] = {&kA, &kEmpty, &kB};

TEST(Subsystems, EachWalkGoesInItsOrderAndSkipsWhatIsAbsentOrUnwanted) {
  struct Case {
    void (*walk)(SubsystemList);
    bool b_wanted;
    const char* expected;
  };
  const Case cases[] = {
      {subsystems_start_all, true, "+a+b"},       {subsystems_start_all, false, "+a"},
      {subsystems_stop_all, true, "-b-a"},        {subsystems_stop_all, false, "-a"},
      {subsystems_closing_all, true, "!a"},       {subsystems_pause_all, false, "papb"},
      {subsystems_resume_all, false, "rbra"},     {subsystems_reset_all, false, "xbxa"},
      {subsystems_runtime_start_all, true, "sa"},
  };
  for (const Case& c : cases) {
    g_log.clear();
    g_b_wanted = c.b_wanted;
    c.walk(SubsystemList(kList));
    EXPECT_EQ(g_log, c.expected);
  }
}

}  // namespace
}  // namespace zelt
