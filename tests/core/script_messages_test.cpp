#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/close_request.h"
#include "core/script_messages.h"

namespace zelt {
namespace {

std::atomic<int> g_calls{0};
std::atomic<std::thread::id> g_handler_thread;

int32_t add(intptr_t w, intptr_t l) {
  g_handler_thread = std::this_thread::get_id();
  ++g_calls;
  return static_cast<int32_t>(w + l);
}

// The test thread plays the main thread: it answers calls until `done`.
template <class Done>
void serve(Done done) {
  while (!done()) {
    wait_main_loop(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    script_messages_process();
  }
}

class ScriptMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = 0;
    script_message_register(ScriptMsg::cd_play, add);
    script_messages_install();
  }
  void TearDown() override {
    script_messages_uninstall();
    script_message_register(ScriptMsg::cd_play, nullptr);
  }
};

TEST_F(ScriptMessages, ManySendersEachGetTheirOwnAnswerOnTheMainThread) {
  constexpr int kThreads = 16, kEach = 200;
  std::atomic<int> finished{0}, wrong{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i)
        if (script_message_send(ScriptMsg::cd_play, t, i) != t + i) ++wrong;
      ++finished;
    });
  serve([&] { return finished.load() == kThreads; });
  for (auto& s : senders) s.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(g_calls.load(), kThreads * kEach);
  EXPECT_EQ(g_handler_thread.load(), std::this_thread::get_id());
}

std::atomic<bool> g_entered{false}, g_release{false};

TEST_F(ScriptMessages, ASlowHandlerKeepsItsSenderWaitingUntilItReturns) {
  g_entered = false;
  g_release = false;
  script_message_register(ScriptMsg::midi_load, [](intptr_t, intptr_t) -> int32_t {
    g_entered = true;
    while (!g_release.load()) std::this_thread::yield();
    return 7;
  });
  std::atomic<int32_t> result{-1}, seen_while_running{-2};
  std::thread sender([&] { result = script_message_send(ScriptMsg::midi_load, 0, 0); });
  std::thread releaser([&] {
    while (!g_entered.load()) std::this_thread::yield();
    seen_while_running = result.load();
    g_release = true;
  });
  serve([&] { return result.load() != -1; });
  sender.join();
  releaser.join();
  EXPECT_EQ(seen_while_running.load(), -1);
  EXPECT_EQ(result.load(), 7);
  script_message_register(ScriptMsg::midi_load, nullptr);
}

TEST_F(ScriptMessages, UnhandledUnknownAndAfterResetAnswer0) {
  std::atomic<int32_t> unhandled{-1}, unknown{-1};
  std::thread t([&] {
    unhandled = script_message_send(ScriptMsg::media_play, 1, 2);
    unknown = script_message_send(5000u, 1, 2);
  });
  serve([&] { return unknown.load() != -1; });
  t.join();
  EXPECT_EQ(unhandled.load(), 0);
  EXPECT_EQ(unknown.load(), 0);

  script_messages_uninstall();  // the runtime reset
  EXPECT_EQ(script_message_send(ScriptMsg::cd_play, 1, 2), 0);
  EXPECT_EQ(g_calls.load(), 0);
}

TEST_F(ScriptMessages, ACallWaitingAtTheResetIsAnswered0) {
  static std::atomic<bool> queued{false};
  queued = false;
  set_main_loop_waker([] { queued = true; });
  std::atomic<int32_t> result{-1};
  std::thread sender([&] { result = script_message_send(ScriptMsg::cd_play, 1, 2); });
  while (!queued.load()) std::this_thread::yield();
  script_messages_uninstall();  // the call is queued and never processed
  sender.join();
  set_main_loop_waker(nullptr);
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(g_calls.load(), 0);
}

TEST_F(ScriptMessages, OnTheMainThreadTheHandlerRunsAtOnce) {
  EXPECT_EQ(script_message_send(ScriptMsg::cd_play, 2, 3), 5);
}

}  // namespace
}  // namespace zelt
