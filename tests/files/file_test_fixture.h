// A title folder as the current directory, with level-2 messages captured.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/app.h"
#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "files/archive_directory.h"
#include "files/exp_file.h"
#include "files/fast_file.h"
#include "files/host_path.h"
#include "support/temp_dir.h"

namespace zelt::test {

inline std::vector<std::string> g_messages;  // code page 932 texts

inline int capture_message(std::string_view text, std::string_view) {
  g_messages.emplace_back(text);
  return kIdOk;
}

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    set_message_sink(capture_message);
    config().Error = 2;
    files::clear_path_cache();
    files::archive::clear_directory_cache();
  }
  void TearDown() override {
    set_message_sink(nullptr);
    config_defaults();
    app().cd_root.clear();
    app().cd_host_dir.clear();
    files::set_drive_mapping("Q:", "");
    files::clear_path_cache();
    files::archive::clear_directory_cache();
    files::archive::set_directory_cache_racy_margin_for_testing(2);
  }

  // The whole content of a file opened with OpenFastFile; nullopt when it
  // does not open.
  static std::optional<std::string> fast_contents(const std::string& path) {
    files::FastFile* f = files::OpenFastFile(path);
    if (!f) return std::nullopt;
    std::string out;
    char buffer[7];  // small, so reads cross the member's end in pieces
    uint32_t got = 0;
    while (files::fast_read(f, buffer, sizeof buffer, &got) && got > 0) out.append(buffer, got);
    files::fast_close(f);
    return out;
  }

  static std::optional<std::string> exp_contents(const std::string& path) {
    files::ExpFile* e = files::OpenExpFile(path);
    if (!e) return std::nullopt;
    const int32_t size = files::exp_size(e);
    std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    uint32_t got = 0;
    EXPECT_EQ(files::exp_read(e, out.data(), static_cast<uint32_t>(out.size()), &got), 1);
    EXPECT_EQ(got, out.size());
    files::exp_close(e);
    return out;
  }

  // The message text formatted as the reporter shows it.
  static std::string message(Msg id, const std::string& arg = "") {
    std::string text = msg_text(id);
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, arg);
    return text;
  }

  TempDir dir_;
  ScopedCwd cwd_{dir_.path()};
};

}  // namespace zelt::test
