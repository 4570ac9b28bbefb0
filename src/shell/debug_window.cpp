#include "shell/debug_window.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "core/close_request.h"
#include "core/cp932.h"
#include "core/debug_output.h"
#include "core/messages.h"
#include "platform/text_raster.h"

namespace zelt {
namespace {

std::mutex g_mutex;
DebugLines g_lines;           // under g_mutex
bool g_dirty = false;         // under g_mutex: lines changed since the last paint
std::atomic<bool> g_enabled{false};
std::atomic<bool> g_to_stderr{false};

// Main thread only.
platform::Window* g_window = nullptr;
std::unique_ptr<platform::TextRaster> g_text;
size_t g_back = 0;  // lines scrolled up from the newest
int g_left = 0;     // horizontal scroll in pixels

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kFace = 0xE0E0E0, kEdge = 0x808080;
constexpr int kTextPx = 12;

void fill(std::vector<uint32_t>& px, DebugLayout::Box b, uint32_t c) {
  for (int y = std::max(0, b.y); y < std::min(DebugLayout::kHeight, b.y + b.h); ++y)
    for (int x = std::max(0, b.x); x < std::min(DebugLayout::kWidth, b.x + b.w); ++x)
      px[y * DebugLayout::kWidth + x] = c;
}

void frame_box(std::vector<uint32_t>& px, DebugLayout::Box b, uint32_t c) {
  fill(px, {b.x, b.y, b.w, 1}, c);
  fill(px, {b.x, b.y + b.h - 1, b.w, 1}, c);
  fill(px, {b.x, b.y, 1, b.h}, c);
  fill(px, {b.x + b.w - 1, b.y, 1, b.h}, c);
}

void button(std::vector<uint32_t>& px, DebugLayout::Box b, Msg label) {
  fill(px, b, kFace);
  frame_box(px, b, kEdge);
  // The "&" only marks the access key; it is not drawn.
  std::string text = cp932::to_utf8(msg_text(label));
  std::erase(text, '&');
  const int tw = g_text->measure(text);
  // Text drawn into a box-sized buffer so that it is clipped to the button.
  std::vector<uint32_t> box(static_cast<size_t>(b.w) * b.h, kFace);
  g_text->draw(box.data(), b.w, b.h, (b.w - tw) / 2, (b.h - g_text->line_height()) / 2, text, kBlack);
  for (int y = 1; y < b.h - 1; ++y)
    for (int x = 1; x < b.w - 1; ++x) px[(b.y + y) * DebugLayout::kWidth + b.x + x] = box[y * b.w + x];
}

int max_left(int widest) {
  // The scroll range: the widest line plus 5 pixels.
  return std::max(0, widest + 5 - DebugLayout::kList.w);
}

void paint() {
  constexpr DebugLayout::Box list = DebugLayout::kList;
  std::vector<uint32_t> px(static_cast<size_t>(DebugLayout::kWidth) * DebugLayout::kHeight, kFace);
  std::vector<uint32_t> area(static_cast<size_t>(list.w) * list.h, kWhite);
  const int row_h = std::max(1, g_text->line_height());
  const size_t rows = static_cast<size_t>(list.h / row_h);
  {
    std::lock_guard lock(g_mutex);
    g_dirty = false;
    const int widest = g_lines.measure([](const std::string& l) { return g_text->measure(cp932::to_utf8(l)); });
    g_left = std::clamp(g_left, 0, max_left(widest));
    g_back = std::min(g_back, g_lines.size() > rows ? g_lines.size() - rows : 0);
    const size_t top = g_lines.top_index(rows, g_back);
    for (size_t i = top, r = 0; i < g_lines.size() && r < rows + 1; ++i, ++r)
      g_text->draw(area.data(), list.w, list.h, 2 - g_left, static_cast<int>(r) * row_h,
                   cp932::to_utf8(g_lines.line(i)), kBlack);
  }
  for (int y = 0; y < list.h; ++y)
    std::copy_n(&area[static_cast<size_t>(y) * list.w], list.w, &px[(list.y + y) * DebugLayout::kWidth + list.x]);
  frame_box(px, {list.x - 1, list.y - 1, list.w + 2, list.h + 2}, kEdge);
  button(px, DebugLayout::kClear, Msg::DebugClear);
  button(px, DebugLayout::kClose, Msg::DebugClose);
  g_window->present_pixels(px.data(), DebugLayout::kWidth, DebugLayout::kHeight);
}

}  // namespace

void DebugLines::append(std::string_view line) { lines_.emplace_back(line); }

void DebugLines::clear() {
  lines_.clear();
  measured_ = 0;
  widest_ = 0;
}

size_t DebugLines::top_index(size_t rows, size_t back) const {
  const size_t end = lines_.size() > back ? lines_.size() - back : 0;
  return end > rows ? end - rows : 0;
}

namespace {

bool append_line(std::string_view cp932_line) {
  if (g_to_stderr.load()) {
    const std::string utf8 = cp932::to_utf8(cp932_line) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  }
  {
    std::lock_guard lock(g_mutex);
    g_lines.append(cp932_line);
    g_dirty = true;
  }
  wake_main_loop();
  return true;
}

bool clear_lines() {
  {
    std::lock_guard lock(g_mutex);
    g_lines.clear();
    g_dirty = true;
  }
  wake_main_loop();
  return true;
}

constexpr DebugOutputOps kOps{append_line, clear_lines};

}  // namespace

void debug_output_start(bool enabled, bool headless) {
  g_enabled.store(enabled);
  g_to_stderr.store(enabled && headless);
  {
    std::lock_guard lock(g_mutex);
    g_lines.clear();
  }
  debug_output_install(enabled ? &kOps : nullptr);
}

bool debug_output_enabled() { return g_enabled.load(); }

std::unique_ptr<platform::Window> debug_window_create() {
  platform::WindowSpec spec;
  spec.title_utf8 = "Debug Output";
  spec.w = DebugLayout::kWidth;
  spec.h = DebugLayout::kHeight;
  spec.hidden = true;
  std::unique_ptr<platform::Window> w = platform::window_create(spec);
  if (w) {
    g_window = w.get();
    g_text = std::make_unique<platform::TextRaster>(kTextPx);
    g_back = 0;
    g_left = 0;
  }
  return w;
}

void debug_window_destroy() {
  g_window = nullptr;
  g_text.reset();
}

void debug_window_click(int x, int y) {
  if (!g_window) return;
  if (DebugLayout::kClear.contains(x, y)) debug_output_clear();
  else if (DebugLayout::kClose.contains(x, y)) g_window->show(false);
  debug_window_refresh(true);
}

void debug_window_access_key(char letter) {
  // The letters marked with "&" in the buttons' labels.
  if (letter == 'C') debug_window_click(DebugLayout::kClear.x, DebugLayout::kClear.y);
  else if (letter == 'X') debug_window_click(DebugLayout::kClose.x, DebugLayout::kClose.y);
}

void debug_window_wheel(int dx, int dy) {
  if (!g_window) return;
  g_left += dx * 16;
  if (dy > 0) g_back += static_cast<size_t>(dy);
  else g_back -= std::min(g_back, static_cast<size_t>(-dy));
  debug_window_refresh(true);
}

void debug_window_refresh(bool force) {
  if (!g_window || !g_window->shown()) return;
  {
    std::lock_guard lock(g_mutex);
    if (!force && !g_dirty) return;
    if (g_dirty) g_back = 0;  // a new line: the newest is visible again
  }
  paint();
}

}  // namespace zelt
