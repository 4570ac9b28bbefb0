#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "shell/single_instance.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

TEST(SingleInstance, SecondProcessIsRefusedAndAsksTheFirstToRaise) {
  test::TempDir dir;
  ASSERT_TRUE(single_instance_acquire("ZELT_TEST", dir.path()));
  EXPECT_FALSE(single_instance_take_raise_request());

  const pid_t child = ::fork();
  if (child == 0) _exit(single_instance_acquire("ZELT_TEST", dir.path()) ? 1 : 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the second instance must be refused";

  bool raised = false;
  for (int i = 0; i < 200 && !raised; ++i) {
    raised = single_instance_take_raise_request();
    if (!raised) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(raised);
  EXPECT_FALSE(single_instance_take_raise_request()) << "a request is taken once";
}

TEST(SingleInstance, UnwritableLockFolderLetsTheProgramRun) {
  EXPECT_TRUE(single_instance_acquire("ZELT_TEST", "/nonexistent/folder"));
}

}  // namespace
}  // namespace zelt
