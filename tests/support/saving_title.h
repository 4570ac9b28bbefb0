// A title for the tests that end the program from outside: its script
// registers the system file "save.sys", fills the block with "LAST", then
// runs `tail`. And the program started on it in the background.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace zelt::test {

// Statements that say the script runs (the file "running") and then wait.
inline constexpr const char* kRunThenWait = "f = fopen(\"running\", \"w\"); fclose(f);\n  while (1) sleep(10);";

inline void write_saving_title(const TempDir& dir, const std::string& configure_cfg, const std::string& tail) {
  dir.write("title/configure.cfg", configure_cfg);
  dir.write("title/zelt/zelt.h", TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h"));
  dir.write("title/zelt/main.c",
            "#include \"zelt.h\"\nchar block[4];\n"
            "int main() { char buf[4]; int f; sysfile(\"save.sys\", block, 4);\n"
            "  block[0] = 'L'; block[1] = 'A'; block[2] = 'S'; block[3] = 'T';\n  " +
                tail + "\n}\n");
}

// `env` zelt `options` dir/title, its stderr in dir/err.txt.
class BackgroundZelt {
 public:
  BackgroundZelt(const TempDir& dir, const std::string& env, const std::string& options) : dir_(dir) {
    const std::string command = env + " exec " + ZELT_BINARY + " " + options + " " + (dir / "title") + " 2>" +
                                (dir / "err.txt");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~BackgroundZelt() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  BackgroundZelt(const BackgroundZelt&) = delete;
  BackgroundZelt& operator=(const BackgroundZelt&) = delete;

  pid_t pid() const { return pid_; }
  // Waits up to 30 s for the script's "running" file.
  bool wait_running() const {
    for (int i = 0; i < 3000; ++i) {
      if (std::filesystem::exists(dir_ / "title/running")) return true;
      ::usleep(10000);
    }
    return false;
  }
  // Waits up to 30 s for the program to end; false (and it is killed) when
  // it does not.
  bool wait_end(int& status) {
    for (int i = 0; i < 3000 && pid_ > 0; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
      }
      ::usleep(10000);
    }
    return false;
  }
  std::string errors() const { return dir_.read("err.txt"); }

 private:
  const TempDir& dir_;
  pid_t pid_ = -1;
};

}  // namespace zelt::test
