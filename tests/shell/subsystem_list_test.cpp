// The start-up list: every subsystem once, and what a subsystem uses before
// it, so that shutdown and the runtime reset (which walk backwards) release
// the user first.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "shell/subsystem_list.h"

namespace zelt {
namespace {

int position(std::string_view name) {
  const SubsystemList list = runtime_subsystems();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->name == name) return static_cast<int>(i);
  ADD_FAILURE() << name << " is not in the list";
  return -1;
}

TEST(SubsystemList, EverySubsystemOnceAndWhatOneUsesBeforeIt) {
  std::set<std::string> names;
  for (const Subsystem* s : runtime_subsystems()) EXPECT_TRUE(names.insert(s->name).second) << s->name;
  const std::pair<const char*, const char*> used_before_user[] = {
      {"math", "blend tables"}, {"net", "present"},   {"sound", "midi"},  {"sound", "video"},
      {"sound", "cd audio"},    {"input", "cd audio"}, {"planes", "fonts"}, {"planes", "sprites"},
      {"planes", "p3d"},        {"planes", "effects"}, {"video", "script clock"},
      {"script clock", "script threads"},
  };
  for (const auto& [used, user] : used_before_user) EXPECT_LT(position(used), position(user)) << used << " / " << user;
}

}  // namespace
}  // namespace zelt
