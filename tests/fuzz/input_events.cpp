// Arbitrary bytes as an input-events file: parsing never crashes, and what
// it accepts has times that never go back and texts that are UTF-8.
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "input/input_events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<zelt::input::TimedEvent> events;
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!zelt::input::parse_input_events(text, &events, &error)) {
    if (error.rfind("line ", 0) != 0 || !events.empty()) {
      std::fprintf(stderr, "bad failure report: %s\n", error.c_str());
      std::abort();
    }
    return 0;
  }
  for (size_t i = 1; i < events.size(); ++i)
    if (events[i].at_ms < events[i - 1].at_ms) std::abort();
  return 0;
}
