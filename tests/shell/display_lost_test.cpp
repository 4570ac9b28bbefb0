// The display goes away under a windowed run (the X server ends, or ends the
// program's connection as when its window is destroyed from outside): the
// program saves the system file and the configuration, then ends with code 1
// (no abort, no spin).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/saving_title.h"
#include "support/temp_dir.h"

// Last: its macros (None, Status, Bool) would reach the headers above.
#include <X11/Xlib.h>

namespace zelt {
namespace {

using test::TempDir;

// An X server of the test's own, so that ending it disturbs no other test.
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1280x800x24",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (pid_ > 0 && ::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~PrivateXServer() { stop(); }
  const std::string& display() const { return display_; }
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Ends the connection of the client that owns a top-level window, as xkill
// does; false when there is no such window.
bool kill_window_client(const std::string& display) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  bool killed = false;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count) && count > 0) {
    XKillClient(d, children[count - 1]);
    XSync(d, False);
    killed = true;
  }
  if (children) XFree(children);
  XCloseDisplay(d);
  return killed;
}

class DisplayLost : public ::testing::TestWithParam<bool> {};  // true: the server ends

TEST_P(DisplayLost, TheSavesHappenAndTheProgramEnds) {
  PrivateXServer x;
  if (x.display().empty()) GTEST_SKIP() << "no Xvfb to start";
  TempDir dir;
  // Other windowed runs may be going on: no single-instance check.
  test::write_saving_title(dir, "[General]\r\nMultiInstance=1\r\n[Option]\r\nConfirmation=1\r\n",
                           test::kRunThenWait);
  test::BackgroundZelt zelt(dir, "DISPLAY=" + x.display() + " XDG_CONFIG_HOME=" + (dir / "home"), "--timeout 30");
  EXPECT_TRUE(zelt.wait_running()) << zelt.errors();
  if (GetParam()) x.stop();
  else EXPECT_TRUE(kill_window_client(x.display()));
  int status = 0;
  ASSERT_TRUE(zelt.wait_end(status)) << "the program did not end within 30 s\n" << zelt.errors();
  ASSERT_TRUE(WIFEXITED(status)) << zelt.errors();
  EXPECT_EQ(WEXITSTATUS(status), 1) << zelt.errors();
  EXPECT_NE(zelt.errors().find("connection to the display was lost"), std::string::npos) << zelt.errors();
  EXPECT_EQ(dir.read("title/save.sys"), "LAST");
  EXPECT_NE(dir.read("title/configure.cfg").find("WindowHeight="), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(, DisplayLost, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "ServerEnds" : "WindowDestroyedFromOutside";
                         });

}  // namespace
}  // namespace zelt
