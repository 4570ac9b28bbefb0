// Socket errors as the user sees them: the message of each Winsock error
// number, reported at level 1.
#pragma once

#include "core/messages.h"

namespace zelt::net {

// The message of an error number; "未定義エラー" for a number without one.
Msg socket_error_message(int code);
// Reports that message at level 1.
void report_socket_error(int code);

}  // namespace zelt::net
