#include "core/debug_output.h"

#include <atomic>

namespace zelt {
namespace {

std::atomic<const DebugOutputOps*> g_ops{nullptr};

}  // namespace

bool debug_output_append(std::string_view cp932_line) {
  const DebugOutputOps* ops = g_ops.load();
  return ops && ops->append(cp932_line);
}

bool debug_output_clear() {
  const DebugOutputOps* ops = g_ops.load();
  return ops && ops->clear();
}

void debug_output_install(const DebugOutputOps* ops) { g_ops.store(ops); }

}  // namespace zelt
