#include "core/script_messages.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "core/close_request.h"

namespace zelt {
namespace {

struct Call {
  uint32_t number;
  intptr_t wparam, lparam;
  int32_t result = 0;
  bool done = false;
};

constexpr size_t kTableSize = kScriptMsgLast - kScriptMsgFirst + 1;

std::mutex g_mutex;
std::condition_variable g_done;
std::deque<Call*> g_queue;                         // under g_mutex
bool g_installed = false;                          // under g_mutex
std::thread::id g_main;                            // set by install
std::array<std::atomic<ScriptMessageHandler>, kTableSize> g_handlers{};

int32_t run_handler(uint32_t number, intptr_t w, intptr_t l) {
  if (number < kScriptMsgFirst || number > kScriptMsgLast) return 0;
  const ScriptMessageHandler h = g_handlers[number - kScriptMsgFirst].load();
  return h ? h(w, l) : 0;
}

}  // namespace

void script_message_register(ScriptMsg msg, ScriptMessageHandler handler) {
  const auto number = static_cast<uint32_t>(msg);
  if (number < kScriptMsgFirst || number > kScriptMsgLast) return;
  g_handlers[number - kScriptMsgFirst].store(handler);
}

int32_t script_message_send(ScriptMsg msg, intptr_t wparam, intptr_t lparam) {
  return script_message_send(static_cast<uint32_t>(msg), wparam, lparam);
}

int32_t script_message_send(uint32_t number, intptr_t wparam, intptr_t lparam) {
  Call call{number, wparam, lparam};
  std::unique_lock lock(g_mutex);
  if (!g_installed) return 0;
  if (std::this_thread::get_id() == g_main) {
    lock.unlock();
    return run_handler(number, wparam, lparam);
  }
  g_queue.push_back(&call);
  lock.unlock();
  wake_main_loop();
  lock.lock();
  g_done.wait(lock, [&] { return call.done; });
  return call.result;
}

void script_messages_process() {
  std::unique_lock lock(g_mutex);
  while (!g_queue.empty()) {
    Call* call = g_queue.front();
    g_queue.pop_front();
    lock.unlock();
    const int32_t result = run_handler(call->number, call->wparam, call->lparam);
    lock.lock();
    call->result = result;
    call->done = true;
    g_done.notify_all();
  }
}

void script_messages_install() {
  std::lock_guard lock(g_mutex);
  g_main = std::this_thread::get_id();
  g_installed = true;
}

void script_messages_uninstall() {
  std::lock_guard lock(g_mutex);
  g_installed = false;
  for (Call* call : g_queue) {
    call->result = 0;
    call->done = true;
  }
  g_queue.clear();
  g_done.notify_all();
}

}  // namespace zelt
