#pragma once
// The command line as UTF-8 arguments, and standard output and error that
// pass bytes through unchanged, on every platform. On Windows the arguments
// come from the wide command line (any character, whatever the code page),
// the streams are switched to binary mode (no CR added before LF), and a
// console shows UTF-8 for as long as the program runs.
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>  // after windows.h

#include <cstdio>
#include <cstdlib>
#endif

namespace kalvoran::tools {

#ifdef _WIN32
namespace detail {
inline UINT savedConsoleCodePage = 0;
inline void RestoreConsoleCodePage() {
  SetConsoleOutputCP(savedConsoleCodePage);
}
}  // namespace detail
#endif

inline std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    detail::savedConsoleCodePage = GetConsoleOutputCP();
    if (SetConsoleOutputCP(CP_UTF8)) std::atexit(detail::RestoreConsoleCodePage);
  }
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; wide != nullptr && i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
    arg.pop_back();  // the terminating NUL
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace kalvoran::tools
