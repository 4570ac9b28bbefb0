// Handlers of the control built-ins, which act on the script host itself:
// jump, call, exit, setjmp, longjmp, the thd_ family and sleep.
#pragma once

#include "script/host/builtin_call.h"

namespace zelt {

uint32_t bi_jump(const BuiltinArgs& a);
uint32_t bi_call(const BuiltinArgs& a);
uint32_t bi_exit(const BuiltinArgs& a);
uint32_t bi_setjmp(const BuiltinArgs& a);
uint32_t bi_longjmp(const BuiltinArgs& a);
uint32_t bi_thd_begin(const BuiltinArgs& a);
uint32_t bi_thd_end(const BuiltinArgs& a);
uint32_t bi_thd_suspend(const BuiltinArgs& a);
uint32_t bi_thd_resume(const BuiltinArgs& a);
uint32_t bi_sleep(const BuiltinArgs& a);

}  // namespace zelt
