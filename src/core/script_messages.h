// Script-thread messages: the one synchronous call channel from script
// threads to the main thread. A script thread sends a numbered message and
// blocks until the main thread has run the handler registered for that
// number; the handler's result is the sender's result. The audio, video,
// input and CD subsystems register their handlers at start-up.
#pragma once

#include <cstdint>

namespace zelt {

enum class ScriptMsg : uint32_t {
#define SCRIPT_MSG(name, number) name = number,
#include "core/script_messages.def"
#undef SCRIPT_MSG
};

inline constexpr uint32_t kScriptMsgFirst = 1124;
inline constexpr uint32_t kScriptMsgLast = 1234;

// Runs on the main thread. wparam and lparam are the sender's two values
// (script cells, or a host address for runtime_info).
using ScriptMessageHandler = int32_t (*)(intptr_t wparam, intptr_t lparam);

// Registers (or with nullptr removes) the handler of one number; numbers
// outside the table are ignored. Start-up, main thread.
void script_message_register(ScriptMsg msg, ScriptMessageHandler handler);

// Any thread: runs the handler on the main thread and returns its result.
// 0 when no handler is registered, when the channel is not installed (before
// the runtime start or after the runtime reset) or when it is removed while
// the call waits. Called on the main thread itself, the handler runs at once.
int32_t script_message_send(ScriptMsg msg, intptr_t wparam, intptr_t lparam);
int32_t script_message_send(uint32_t number, intptr_t wparam, intptr_t lparam);

// Main thread: runs every call waiting now (a sender wakes the main thread
// with wake_main_loop after queuing). Every loop of the main thread
// that a sender may wait for calls this when woken.
void script_messages_process();

// Runtime start and reset (main thread). Uninstall answers every waiting
// call with 0.
void script_messages_install();
void script_messages_uninstall();

}  // namespace zelt
