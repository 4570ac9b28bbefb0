#include "builtins/regex.h"

#include <oniguruma.h>

#include <algorithm>
#include <optional>

#include "core/slot_table.h"

namespace zelt::regex {
namespace {

struct State {
  bool initialized = false;
  // Generational handles: a freed pattern's handle never reaches a newer one.
  SlotTable<regex_t*, 65536> patterns;
};

State& state() {
  static State s;
  return s;
}

const OnigUChar* bytes(std::string_view s) { return reinterpret_cast<const OnigUChar*>(s.data()); }

// Runs the library call with a fresh region and copies its registers out.
template <typename Call>
int32_t with_region(Registers& regs, Call call) {
  OnigRegion* region = onig_region_new();
  if (!region) return ONIGERR_MEMORY;
  const int rc = call(region);
  regs.begin.assign(region->beg, region->beg + std::max(region->num_regs, 0));
  regs.end.assign(region->end, region->end + std::max(region->num_regs, 0));
  onig_region_free(region, 1);
  return rc;
}

regex_t* find(uint32_t handle) {
  regex_t* const* reg = state().patterns.lookup(handle);
  return reg ? *reg : nullptr;
}

}  // namespace

uint32_t compile(std::string_view pattern) {
  State& s = state();
  if (!s.initialized) {
    OnigEncoding encodings[] = {ONIG_ENCODING_SJIS};
    if (onig_initialize(encodings, 1) != ONIG_NORMAL) return 0;
    s.initialized = true;
  }
  regex_t* reg = nullptr;
  OnigErrorInfo info;
  if (onig_new(&reg, bytes(pattern), bytes(pattern) + pattern.size(), ONIG_OPTION_NONE, ONIG_ENCODING_SJIS,
               ONIG_SYNTAX_RUBY, &info) != ONIG_NORMAL) {
    return 0;
  }
  const std::optional<uint32_t> handle = s.patterns.insert(reg);
  if (!handle) onig_free(reg);
  return handle.value_or(0);
}

bool free(uint32_t handle) {
  const std::optional<regex_t*> reg = state().patterns.close(handle);
  if (reg) onig_free(*reg);
  return reg.has_value();
}

int32_t search(uint32_t handle, std::string_view subject, uint32_t start, uint32_t range, Registers& regs) {
  regex_t* reg = find(handle);
  if (!reg) return kBadArgument;
  const auto length = static_cast<uint32_t>(subject.size());
  const OnigUChar* str = bytes(subject);
  return with_region(regs, [&](OnigRegion* region) {
    return onig_search(reg, str, str + length, str + std::min(start, length), str + std::min(range, length), region,
                       ONIG_OPTION_NONE);
  });
}

int32_t match(uint32_t handle, std::string_view subject, uint32_t at, Registers& regs) {
  regex_t* reg = find(handle);
  if (!reg) return kBadArgument;
  const auto length = static_cast<uint32_t>(subject.size());
  const OnigUChar* str = bytes(subject);
  return with_region(regs, [&](OnigRegion* region) {
    return onig_match(reg, str, str + length, str + std::min(at, length), region, ONIG_OPTION_NONE);
  });
}

void release_all() {
  State& s = state();
  s.patterns.for_each([&](uint32_t handle, regex_t* reg) {
    onig_free(reg);
    s.patterns.close(handle);
  });
  if (s.initialized) onig_end();
  s.initialized = false;
}

}  // namespace zelt::regex
