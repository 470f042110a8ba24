#include "program_run.h"

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>  // after windows.h

#include <algorithm>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

#include "temp_dir.h"

namespace kalvoran::test {

#ifdef _WIN32
namespace {

// One argument as the C runtime's command line parser reads it back:
// quoted, with backslashes doubled only where they precede a quote.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L'"';
}

HANDLE OutputFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun RunProgram(std::vector<std::string> args, const std::function<bool()>& killWhen) {
  ProgramRun run;
  if (args.empty()) return run;
  const TempDir dir("kalvoran-run");
  const std::string outPath = dir.Path() + "/out";
  const std::string errPath = dir.Path() + "/err";
  std::wstring commandLine;
  for (const std::string& a : args) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += Quoted(Utf8ToWide(a));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = OutputFile(outPath);
  startup.hStdError = OutputFile(errPath);
  PROCESS_INFORMATION process{};
  run.started = startup.hStdOutput != INVALID_HANDLE_VALUE &&
                startup.hStdError != INVALID_HANDLE_VALUE &&
                CreateProcessW(Utf8ToWide(args[0]).c_str(), commandLine.data(), nullptr, nullptr,
                               TRUE, 0, nullptr, nullptr, &startup, &process);
  if (startup.hStdOutput != INVALID_HANDLE_VALUE) CloseHandle(startup.hStdOutput);
  if (startup.hStdError != INVALID_HANDLE_VALUE) CloseHandle(startup.hStdError);
  if (!run.started) return run;
  CloseHandle(process.hThread);
  // The peak working set, read while the program runs: not every system
  // keeps it for a program that has ended.
  SIZE_T peak = 0;
  for (bool ended = false, killed = false; !ended;) {
    ended = WaitForSingleObject(process.hProcess, 10) != WAIT_TIMEOUT;
    if (!ended && killWhen && !killed && (killed = killWhen()))
      TerminateProcess(process.hProcess, 9);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
      peak = std::max(peak, memory.PeakWorkingSetSize);
    }
  }
  run.peakRssKiB = static_cast<long>(peak / 1024);
  DWORD status = 0;
  if (GetExitCodeProcess(process.hProcess, &status)) run.status = static_cast<int>(status);
  CloseHandle(process.hProcess);
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

#else
ProgramRun RunProgram(std::vector<std::string> args, const std::function<bool()>& killWhen) {
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
  for (bool killed = false;;) {
    const pid_t ended = ::wait4(pid, &status, killWhen && !killed ? WNOHANG : 0, &usage);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    if (ended == 0 && !(killed = killWhen())) ::usleep(10000);
    if (killed) ::kill(pid, SIGKILL);
  }
  run.peakRssKiB = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

#endif

}  // namespace kalvoran::test
