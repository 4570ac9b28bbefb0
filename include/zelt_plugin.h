/* zelt_plugin.h: what native libraries loaded by a zelt title may call.
 *
 * zelt_runtime_info() fills a ZeltRuntimeInfo with the runtime's state. The
 * flags are read-only 32-bit words that the runtime changes at any time:
 * stop_flag becomes non-zero when every script thread must stop, active is
 * 1 while the title has the focus (or runs with GlobalFocus) and 0 while it
 * is paused. The addresses are native pointers of this process (not script
 * addresses); instance and frame_window are opaque and may be null.
 */
#ifndef ZELT_PLUGIN_H
#define ZELT_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZeltRuntimeInfo {
  const volatile int32_t* stop_flag;
  const volatile int32_t* active;
  void* instance;
  void* frame_window;
  int32_t width;  /* screen plane size and depth */
  int32_t height;
  int32_t depth;
} ZeltRuntimeInfo;

/* Fills *info (nothing when info is null) and returns 0. Callable from any
 * thread; the values are taken on the runtime's main thread. */
int32_t zelt_runtime_info(ZeltRuntimeInfo* info);

/* Script addresses. Scripts pass 32-bit addresses of their own memory (the
 * arguments of dll_call are 32-bit integers, widened with zeros). Where the
 * runtime can, it places script memory at its own addresses (script_base is
 * then NULL): a script address is then the native pointer, and functions
 * taking char* or other pointers can be called with them directly. Under
 * some builds (address sanitizer) it cannot; then script_base is not NULL
 * and the runtime says so in the debug output when DebugMode is set. A
 * library that exports
 *   void zelt_plugin_init(const ZeltPluginApi* api);
 * is given this table once, right after dll_load loads it; the table stays
 * valid while the library is loaded. script_pointer checks that the size
 * bytes at address are usable script memory and returns their native
 * pointer, or NULL (use it rather than script_base + address, which does not
 * check). */
#define ZELT_PLUGIN_API_VERSION 1

typedef struct ZeltPluginApi {
  uint32_t version; /* ZELT_PLUGIN_API_VERSION */
  uint8_t* script_base;
  void* (*script_pointer)(uint32_t address, uint32_t size);
} ZeltPluginApi;

typedef void (*ZeltPluginInit)(const ZeltPluginApi* api);

#ifdef __cplusplus
}
#endif

#endif
