// Script threads through the real compiler and host: thd_begin, thd_end,
// thd_suspend, thd_resume, sleep, faults, and the cases that must never
// deadlock, repeated many times.
#include "script/host/host_test_util.h"

namespace zelt::hosttest {
namespace {

class Threads : public HostTest {};

TEST_F(Threads, BeginPassesTheArgumentAndEndsOnReturn) {
  ASSERT_TRUE(run("extern int got;\n"
                  "void worker(int a) { got = a; }\n"
                  "int main() { int t;\n"
                  "  t = thd_begin(worker, 42, 0, 0); out(t);\n"
                  "  while (got == 0) sleep(1);\n"
                  "  out(got); return 0; }\n"));
  // The entry script runs on slot 0, so the new thread takes slot 1.
  EXPECT_EQ(outputs(), (Lines{"1", "42"}));
}

// The stack a thread gets, seen through how deep it can recurse: each level
// of down() takes 36 bytes (argument, return address, saved registers, one
// local), so 10 levels fit in 1024 bytes and 40 do not.
TEST_F(Threads, StackSizeRequests) {
  struct Case {
    int stack, depth;
    bool faults;
  };
  const Case cases[] = {
      {100, 10, false},   // 100 becomes 1024
      {100, 40, true},    // ...and not more
      {0, 40, false},     // the caller's 16384
      {-5, 40, false},
      {2048, 40, false},
  };
  for (const Case& c : cases) {
    if (&c != cases) restart();
    ASSERT_TRUE(run("extern int done;\n"
                    "int down(int n) { int pad; pad = n; if (n == 0) return 0; return down(n - 1) + pad; }\n"
                    "void worker(int n) { down(n); done = 1; }\n"
                    "int main() { thd_begin(worker, " + std::to_string(c.depth) + ", 0, " +
                    std::to_string(c.stack) + ");\n"
                    "  while (done == 0) sleep(1);\n"
                    "  out(done); return 0; }\n"));
    if (c.faults) {
      EXPECT_TRUE(outputs().empty()) << c.stack << " " << c.depth;
      ASSERT_EQ(messages().size(), 1u) << c.stack << " " << c.depth;
      EXPECT_EQ(messages()[0], msg_text(Msg::FaultStackArea));
    } else {
      EXPECT_EQ(outputs(), (Lines{"1"})) << c.stack << " " << c.depth;
      EXPECT_TRUE(messages().empty()) << c.stack << " " << c.depth;
    }
  }
}

// Counts how far a counting thread gets; the thread takes one step per
// slice. "Stays put" is checked after the thread has had time to finish the
// slice it was in when it was suspended.
constexpr const char* kCounter =
    "extern int ticks;\n"
    "void counter(int a) { while (1) { ticks = ticks + 1; sleep(0); } }\n"
    "int settled() { int a; sleep(50); a = ticks; sleep(50); return ticks - a; }\n"
    "void wait_ticks() { int a; a = ticks; while (ticks == a) sleep(1); }\n";

TEST_F(Threads, SuspendTwiceNeedsResumeTwice) {
  ASSERT_TRUE(run(std::string(kCounter) +
                  "int main() { int t;\n"
                  "  t = thd_begin(counter, 0, 1, 0);\n"
                  "  out(settled()); out(ticks);\n"   // started suspended: nothing ran
                  "  out(thd_resume(t)); wait_ticks();\n"
                  "  out(thd_suspend(t)); out(thd_suspend(t)); settled();\n"
                  "  out(settled());\n"
                  "  out(thd_resume(t)); out(settled());\n"
                  "  out(thd_resume(t)); wait_ticks();\n"
                  "  out(thd_resume(t));\n"   // already 0
                  "  out(thd_suspend(99)); out(thd_resume(-1)); out(thd_suspend(5));\n"
                  "  out(thd_end(t)); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "1", "2", "0", "1", "0", "0", "0", "-1", "-1", "-1", "1"}));
}

TEST_F(Threads, SleepOnlyEndsTheSliceForZeroOrLess) {
  ASSERT_TRUE(run("int main() { int i, n;\n"
                  "  n = 0; for (i = 0; i < 1000; i++) n = n + sleep(0) + sleep(-5);\n"
                  "  out(n); out(sleep(20)); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"2000", "1"}));
}

TEST_F(Threads, OtherThreadsRunOnAfterTheEntryScriptReturns) {
  ASSERT_TRUE(run("void late(int a) { sleep(30); out(a); }\n"
                  "int main() { thd_begin(late, 5, 0, 0); out(1); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "5"}));
  EXPECT_FALSE(close_requested());
}

TEST_F(Threads, AFullThreadTableRefusesThdBegin) {
  ASSERT_TRUE(run("void idle(int a) { sleep(100000); }\n"
                  "int main() { int i, t, last;\n"
                  "  for (i = 1; i < 32; i++) last = thd_begin(idle, 0, 0, 0);\n"
                  "  out(last); out(thd_begin(idle, 0, 0, 0));\n"
                  "  out(thd_end(7)); out(thd_begin(idle, 0, 0, 0));\n"  // the freed slot is reused
                  "  for (i = 1; i < 32; i++) thd_end(i);\n"
                  "  out(thd_end(3)); out(thd_end(32)); out(thd_end(-1)); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"31", "-1", "1", "7", "0", "0", "0"}));
}

TEST_F(Threads, AFaultStopsEveryThread) {
  config().Confirmation = 1;
  ASSERT_TRUE(run("extern int spins;\n"
                  "void spin(int a) { while (1) { spins = spins + 1; sleep(0); } }\n"
                  "int main() { int z;\n"
                  "  thd_begin(spin, 0, 0, 0); thd_begin(spin, 0, 1, 0);\n"
                  "  while (spins < 10) sleep(1);\n"
                  "  z = 0; out(1 / z); out(2); return 0; }\n"));
  EXPECT_TRUE(outputs().empty());
  EXPECT_EQ(messages(), (Lines{msg_text(Msg::DivideByZero)}));
  EXPECT_TRUE(close_requested());
  EXPECT_EQ(config().Confirmation, 0);
}

// Ending threads in every state they can be in, 200 times: running and
// often waiting for the built-in lock (spinning on built-in calls), asleep,
// started suspended, suspended twice while running, and a thread ending
// itself. Any deadlock hangs here.
TEST_F(Threads, ThdEndNeverDeadlocks) {
  ASSERT_TRUE(run("extern int own, after_end;\n"
                  "void spin(int a) { while (1) thd_suspend(99); }\n"
                  "void sleeper(int a) { sleep(1000000); }\n"
                  "void quitter(int a) { thd_end(own); after_end = 1; }\n"
                  "int main() { int i, t, u, bad;\n"
                  "  bad = 0;\n"
                  "  for (i = 0; i < 200; i++) {\n"
                  "    t = thd_begin(spin, 0, 0, 0); u = thd_begin(spin, 0, 0, 0);\n"
                  "    if (thd_end(t) != 1 || thd_end(u) != 1) bad++;\n"
                  "    t = thd_begin(sleeper, 0, 0, 0); if (thd_end(t) != 1) bad++;\n"
                  "    t = thd_begin(spin, 0, 1, 0); if (thd_end(t) != 1) bad++;\n"
                  "    t = thd_begin(spin, 0, 0, 0); thd_suspend(t); thd_suspend(t);\n"
                  "    if (thd_end(t) != 1) bad++;\n"
                  "    own = thd_begin(quitter, 0, 1, 0); thd_resume(own);\n"
                  "    thd_end(own);\n"
                  "  }\n"
                  "  out(bad); out(i); out(after_end); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "200", "0"}));
  EXPECT_TRUE(messages().empty());
}

// A thread that ends its own slot stops right after the call: the result
// is never used.
TEST_F(Threads, ThdEndOfTheOwnSlotEndsAfterTheCall) {
  ASSERT_TRUE(run("extern int slot;\n"
                  "void quitter(int a) { while (slot == 0) sleep(0); out(thd_end(slot)); }\n"
                  "int main() { slot = thd_begin(quitter, 0, 0, 0);\n"
                  "  out(thd_end(0)); return 0; }\n"));
  EXPECT_TRUE(outputs().empty());
  EXPECT_FALSE(close_requested());
}

// Two threads ending each other at the same time both end, 100 times.
TEST_F(Threads, MutualThdEndEndsBoth) {
  ASSERT_TRUE(run("extern int slots[2];\n"
                  "void a_end(int a) { while (1) thd_end(slots[1]); }\n"
                  "void b_end(int a) { while (1) thd_end(slots[0]); }\n"
                  "int main() { int i;\n"
                  "  for (i = 0; i < 100; i++) {\n"
                  "    slots[0] = thd_begin(a_end, 0, 1, 0); slots[1] = thd_begin(b_end, 0, 1, 0);\n"
                  "    thd_resume(slots[0]); thd_resume(slots[1]);\n"
                  "    thd_end(slots[0]); thd_end(slots[1]);\n"
                  "  }\n"
                  "  out(i); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"100"}));
}

// exit, and a fault, while other threads hammer the built-in lock or sleep:
// the program closes and every thread ends, run after run.
TEST_F(Threads, ExitAndFaultsWhileOthersHoldTheLock) {
  const char* const kPrelude =
      "void spin(int a) { while (1) thd_suspend(99); }\n"
      "void sleeper(int a) { sleep(1000000); }\n"
      "void start() { int i; for (i = 0; i < 4; i++) thd_begin(spin, 0, 0, 0);\n"
      "  thd_begin(sleeper, 0, 0, 0); thd_begin(spin, 0, 1, 0); sleep(1); }\n";
  const char* const kEndings[] = {
      "exit();",
      "z = 0; z = 1 / z;",
      "extra();",   // built-in number 317
  };
  int runs = 0;
  for (const char* ending : kEndings) {
    for (int i = 0; i < 30; ++i) {
      if (runs++ > 0) restart();
      ASSERT_TRUE(run(std::string(kPrelude) + "int main() { int z; start(); " + ending + " out(1); return 0; }\n"));
      EXPECT_TRUE(outputs().empty()) << ending;
      EXPECT_TRUE(close_requested()) << ending;
      if (HasFailure()) return;
    }
  }
}

// The focus handling pauses every thread; pauses nest, and resuming never
// goes below 0. The counting thread shows progress through out().
TEST_F(Threads, PausingAllThreadsStopsThemUntilResumed) {
  add("main.c",
      "void counter(int a) { while (1) { out(1); sleep(1); } }\n"
      "int main() { thd_begin(counter, 0, 0, 0); sleep(1000000); return 0; }\n");
  config().Load = "main.c";
  ASSERT_TRUE(script_start_entry());
  auto count = [] { return outputs().size(); };
  auto wait_for_more = [&](size_t than) {
    while (count() <= than) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
  wait_for_more(0);
  script_threads_pause_all();
  script_threads_pause_all();
  settle();
  const size_t paused = count();
  settle();
  EXPECT_EQ(count(), paused);
  script_threads_resume_all();
  settle();
  EXPECT_EQ(count(), paused);
  script_threads_resume_all();
  script_threads_resume_all();  // not below 0
  wait_for_more(paused);
  script_threads_pause_all();
  script_threads_resume_all();
  wait_for_more(count());
}

}  // namespace
}  // namespace zelt::hosttest
