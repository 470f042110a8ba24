#include "program_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>

#include "temp_dir.h"

extern char** environ;

namespace kalvoran::test {

ProgramRun RunProgram(std::vector<std::string> args) {
  ProgramRun run;
  if (args.empty()) return run;
  const TempDir dir("kalvoran-run");
  const std::string outPath = dir.Path() + "/out";
  const std::string errPath = dir.Path() + "/err";
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = -1;
  run.started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!run.started) return run;
  int status = 0;
  struct rusage usage {};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.peakRssKiB = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

}  // namespace kalvoran::test
