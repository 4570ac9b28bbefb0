// Built-in adapters of the native libraries: 256 library slots, exported
// functions known to scripts by non-zero 32-bit handles (native addresses do
// not fit a cell), and calls with the caller's argument cells.
#include <optional>
#include <string>
#include <vector>

#include "builtins/builtins_subsystems.h"
#include "builtins/handlers.h"
#include "core/app.h"
#include "core/cp932.h"
#include "core/slot_table.h"
#include "files/host_path.h"
#include "platform/library_loader.h"
#include "zelt_plugin.h"

namespace zelt {
namespace {

struct Libraries {
  // Scripts see the slot numbers 0..255.
  SlotTable<void*, 256, SlotHandles::kSlotNumber> slots;
  struct Proc {
    uint32_t slot;
    void* fn;
  };
  // Function handles are generational, so one kept past the unloading of its
  // library is refused even after another library takes the slot.
  SlotTable<Proc, 65536> procs;
};

Libraries& libs() {
  static Libraries l;
  return l;
}

void* plugin_script_pointer(uint32_t address, uint32_t size) {
  const std::span<uint8_t> s = script_memory().span(address, size);
  return s.data();
}

// The files tried for a name: as given, with ".so" for a ".dll" ending or
// added, and with "lib" in front; each in the program folder, then (for a
// name without a folder) on the system's library path.
std::vector<std::string> candidates(std::string_view name) {
  std::string folder, file(name);
  const size_t cut = file.find_last_of("\\/");
  if (cut != std::string::npos) {
    folder = file.substr(0, cut + 1);
    file = file.substr(cut + 1);
  }
  std::string stem = file;
  if (stem.size() > 4 && cp932::equal_nocase(std::string_view(stem).substr(stem.size() - 4), ".dll")) {
    stem.resize(stem.size() - 4);
  }
  std::vector<std::string> names = {file, stem + ".so"};
  if (stem.compare(0, 3, "lib") != 0) names.push_back("lib" + stem + ".so");
  std::vector<std::string> out;
  const std::string base = folder.empty() ? cp932::from_utf8(app().program_folder) : folder;
  for (const std::string& n : names) {
    std::string host = files::host_path(base + n);
    if (host.find('/') == std::string::npos) host = "./" + host;
    out.push_back(host);
  }
  if (folder.empty()) {
    for (const std::string& n : names) out.push_back(cp932::to_utf8(n));
  }
  return out;
}

}  // namespace

uint32_t bi_dll_load(const BuiltinArgs& a) {
  std::string_view name;
  if (!a.str(0, name, 4096) || name.empty()) return int_result(-1);
  Libraries& l = libs();
  if (l.slots.size() == l.slots.kCapacity) return int_result(-1);
  void* library = nullptr;
  for (const std::string& path : candidates(name)) {
    if ((library = platform::library_open(path)) != nullptr) break;
  }
  if (!library) return int_result(-1);
  const uint32_t slot = *l.slots.insert(library);
  static const ZeltPluginApi api = {ZELT_PLUGIN_API_VERSION, script_memory().base(), plugin_script_pointer};
  if (void* init = platform::library_symbol(library, "zelt_plugin_init")) {
    reinterpret_cast<ZeltPluginInit>(init)(&api);
  }
  return int_result(static_cast<int32_t>(slot));
}

uint32_t bi_dll_unload(const BuiltinArgs& a) {
  const uint32_t slot = a.u32(0);
  Libraries& l = libs();
  const std::optional<void*> library = l.slots.close(slot);
  if (!library) return 0;
  l.procs.for_each([&](uint32_t handle, const Libraries::Proc& p) {
    if (p.slot == slot) l.procs.close(handle);
  });
  platform::library_close(*library);
  return 1;
}

uint32_t bi_dll_proc(const BuiltinArgs& a) {
  const uint32_t slot = a.u32(0);
  Libraries& l = libs();
  void* const* library = l.slots.lookup(slot);
  std::string_view name;
  if (!library || !a.str(1, name, 4096)) return 0;
  void* fn = platform::library_symbol(*library, std::string(name));
  if (!fn) return 0;
  uint32_t found = 0;
  l.procs.for_each([&](uint32_t handle, const Libraries::Proc& p) {
    if (p.fn == fn) found = handle;  // the same function keeps its handle
  });
  if (found != 0) return found;
  return l.procs.insert({slot, fn}).value_or(0);
}

uint32_t bi_dll_call(const BuiltinArgs& a) {
  ScriptContext* context = builtin_current();
  const int32_t cells = context ? call_arg_count(*context) : -1;
  if (cells < 1 || static_cast<uint32_t>(cells) > a.cells()) return 0;
  const Libraries::Proc* proc = libs().procs.lookup(a.u32(0));
  if (!proc) return 0;
  std::vector<uint32_t> args;
  for (int32_t k = 1; k < cells; ++k) args.push_back(a.u32(static_cast<uint32_t>(k)));
  return int_result(platform::library_call(proc->fn, args));
}

const Subsystem kLibrariesSubsystem{
    .name = "libraries",
    .reset =
        [] {
          Libraries& l = libs();
          l.procs.clear();
          l.slots.for_each([&](uint32_t slot, void* library) {
            platform::library_close(library);
            l.slots.close(slot);
          });
        },
};

}  // namespace zelt
