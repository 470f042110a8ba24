#pragma once
// Running a program of ours as a child process and taking what it printed.
#include <functional>
#include <string>
#include <vector>

namespace kalvoran::test {

struct ProgramRun {
  bool started = false;
  int status = -1;  // the exit status; -1 when it did not exit by itself
  std::string out;
  std::string err;
  long peakRssKiB = 0;  // the child's largest resident size
};

// Runs args[0] with the other arguments and this process's environment and
// waits for its end. Its output goes through files, so neither stream can
// fill up and block it. Once killWhen (asked every few ms) holds, it is killed.
ProgramRun RunProgram(std::vector<std::string> args,
                      const std::function<bool()>& killWhen = nullptr);

}  // namespace kalvoran::test
