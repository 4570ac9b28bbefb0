#include "net/socket_messages.h"

#include <utility>

namespace zelt::net {
namespace {

constexpr std::pair<int, Msg> kSocketMessages[] = {
#define MSG(id, text)
#define WSA_MSG(code, id, text) {code, Msg::id},
#include "core/messages.def"
#undef WSA_MSG
#undef MSG
};

}  // namespace

Msg socket_error_message(int code) {
  for (const auto& [number, id] : kSocketMessages)
    if (number == code) return id;
  return Msg::NetUndefinedError;
}

void report_socket_error(int code) { report(kLevelDevice, socket_error_message(code)); }

}  // namespace zelt::net
