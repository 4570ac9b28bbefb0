// Script-level case tables: each case is a statement list that records one
// value with out() or outs(); all cases of a table run in one script, and a
// failure names the case.
#pragma once

#include <string>
#include <vector>

#include "script/host/host_test_util.h"

namespace zelt::hosttest {

struct ScriptCase {
  const char* name;
  std::string code;
  std::string expected;
};

class ScriptCases : public HostTest {
 protected:
  // Runs every case after `prelude` and before `epilogue` (declarations at
  // file scope go in `globals`) and compares each recorded value with its
  // case. Cases free the blocks they allocate.
  void run_cases(const std::string& globals, const std::string& prelude, const std::string& epilogue,
                 const std::vector<ScriptCase>& cases) {
    std::string text = globals + "int main() {\n" + prelude + "\n";
    for (const ScriptCase& c : cases) text += "  " + c.code + "\n";
    text += epilogue + "\n  return 0;\n}\n";
    ASSERT_TRUE(run(text)) << (messages().empty() ? std::string() : messages()[0]) << "\n" << text;
    ASSERT_TRUE(messages().empty()) << messages()[0] << "\n" << text;
    const Lines got = outputs();
    ASSERT_EQ(got.size(), cases.size()) << "each case must record exactly one value";
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(got[i], cases[i].expected) << cases[i].name << ": " << cases[i].code;
    }
  }
};

}  // namespace zelt::hosttest
