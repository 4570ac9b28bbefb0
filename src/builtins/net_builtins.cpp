// Built-in adapters of the sockets: decode the argument cells, check the
// script's buffer for exactly the bytes that move, call the network.
#include <algorithm>

#include "builtins/handlers.h"
#include "net/net.h"

namespace zelt {

// A host of 0 starts a server; an unusable host address starts nothing.
uint32_t bi_net_open(const BuiltinArgs& a) {
  net::Network& n = net::network();
  if (a.addr(0) == 0) return int_result(n.open_server(a.i32(1)));
  std::string_view host;
  if (!a.str(0, host)) return 0;
  return int_result(n.open_client(host, a.i32(1)));
}

uint32_t bi_net_close(const BuiltinArgs&) {
  net::network().close();
  return 1;
}

// Only the bytes that fit into the send ring must lie in usable script
// memory; a negative length or an unusable buffer fails with -1.
uint32_t bi_net_send(const BuiltinArgs& a) {
  net::Network& n = net::network();
  const int32_t slot = a.i32(0), length = a.i32(2);
  const int32_t room = n.send_room(slot);
  if (room < 0 || length < 0) return int_result(-1);
  const uint32_t count = static_cast<uint32_t>(std::min(length, room));
  if (count == 0) return 0;
  const std::span<uint8_t> data = a.span(1, count);
  if (!data.data()) return int_result(-1);
  return int_result(n.send(slot, data));
}

// Likewise for the bytes the receive ring holds: nothing is written past
// them, so a short buffer with a long length is safe while little is held.
uint32_t bi_net_recv(const BuiltinArgs& a) {
  net::Network& n = net::network();
  const int32_t slot = a.i32(0), length = a.i32(2);
  const int32_t held = n.recv_held(slot);
  if (held < 0 || length < 0) return int_result(-1);
  const uint32_t count = static_cast<uint32_t>(std::min(length, held));
  if (count == 0) return 0;
  const std::span<uint8_t> buffer = a.span(1, count);
  if (!buffer.data()) return int_result(-1);
  return int_result(n.recv(slot, buffer));
}

uint32_t bi_net_state(const BuiltinArgs&) { return int_result(net::network().state()); }

}  // namespace zelt
