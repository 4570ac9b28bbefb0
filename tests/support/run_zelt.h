// Runs the built zelt program as a user would, in a child process.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace zelt::test {

struct RunResult {
  int code = -1;       // exit code, -1 when the program did not exit normally
  std::string output;  // what the command printed (see run_zelt)
};

// Runs `env ZELT_BINARY args`; output holds stdout and stderr together
// unless `streams` redirects them otherwise (e.g. "2>/dev/null").
inline RunResult run_zelt(const std::string& args, const std::string& env = "",
                          const std::string& streams = "2>&1") {
  const std::string command = env + " " + ZELT_BINARY + " " + args + " " + streams;
  RunResult r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
  const int status = ::pclose(pipe);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace zelt::test
