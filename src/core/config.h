// Configuration values: one process-wide set, read at start-up from the
// title's ini files and partly written back at exit. Strings are code page
// 932 bytes; integers are 32-bit signed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zelt {

struct Config {
  // [General]
  std::string Product;
  int32_t Inheritance;
  int32_t DebugMode;
  int32_t Error;
  int32_t MultiInstance;
  // [Window]
  std::string Title;
  int32_t Resize;
  int32_t RestoreBounds;
  int32_t WindowLeft, WindowTop, WindowWidth, WindowHeight;
  // [Screen]
  int32_t Width, Height, Depth;
  int32_t FullScreen;
  int32_t FixedAspectRatio;
  int32_t Smoothing;
  // [System]
  int32_t MMX;
  int32_t MultiThreading;
  int32_t Direct3D;
  int32_t DirectSound;
  int32_t DirectMusic;
  int32_t DirectInput;
  int32_t Net;
  // [Drive]
  int32_t CD;
  std::string CdRom;  // key "CD-ROM"
  std::string CdDir;  // key "CD-DIR"
  // [Option]
  int32_t GlobalFocus;
  int32_t GlobalSound;
  int32_t Confirmation;
  // [Script]
  std::string Load;
  int32_t ProgramSize;
  int32_t StackSize;
  int32_t HeapSize;
};

// One row per key, in the order files are read.
struct ConfigKey {
  const char* section;
  const char* key;
  int32_t Config::*int_value;      // integer keys
  std::string Config::*str_value;  // string keys
  uint32_t buffer;                 // string keys: buffer size including the terminator
  int32_t int_default;
  const char* str_default;
  bool (*valid)(int32_t) = nullptr;  // integer keys the runtime allocates by: the values it accepts
};
std::span<const ConfigKey> config_keys();

// The process-wide values. Written during start-up and afterwards only by
// the frame window, the system built-ins and the script host.
Config& config();

void config_defaults();

// Limits of the sizes the runtime allocates by (README "Configuration").
inline constexpr int32_t kMaxScreenSide = 8192;           // [Screen] Width, Height
inline constexpr int32_t kMinStackSize = 1024;            // [Script] StackSize
inline constexpr int32_t kMaxStackSize = 16 << 20;
inline constexpr int32_t kMaxProgramSize = 64 << 20;      // [Script] ProgramSize (0: measured)
inline constexpr int32_t kMaxHeapSize = 256 << 20;        // [Script] HeapSize

// Start-up, after the files are read: every value a key does not accept is
// reported (level 1, naming the key and the value) and replaced by the
// key's default, so that no configuration makes the runtime allocate
// gigabytes or start nothing without a word.
void config_check();
// "CD-DIR" as the file layer uses it: a "\" appended unless empty or
// already ending in "\" or "/".
std::string config_cd_dir();

}  // namespace zelt
