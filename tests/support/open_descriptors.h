#pragma once
// Counting this process's open descriptors, to catch a leak across a call.
// On Windows: the process's open handles of file kind.
#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#else
#include <dirent.h>
#endif

namespace kalvoran::test {

#ifdef _WIN32
// What POSIX calls descriptors are the handles of file kind on Windows:
// files, folders, sockets and pipes; threads and synchronisation objects are
// not counted (the threads library keeps some of those of its own). Only
// this process's own handles are looked at: the handle values are tried in
// turn. (The system's handle table would give them in one call, but under
// Wine that call walks every process of the session while others start and
// end beside the test, and test programs were seen to hang on their way out
// after it. Wine counts no handles for GetProcessHandleCount either.)
inline int OpenDescriptors() {
  // Handle values are multiples of four, handed out from the lowest free
  // one: past a long run of free values no handle is left.
  constexpr std::uintptr_t kFreeRun = 256;
  int files = 0;
  for (std::uintptr_t value = 4, free = 0; free < kFreeRun; value += 4) {
    const HANDLE h = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(h, &flags)) {
      ++free;
      continue;
    }
    free = 0;
    SetLastError(NO_ERROR);
    files += GetFileType(h) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
  }
  return files;
}
#else
// Open descriptors of this process, the one that reads the count included.
inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return count;
}
#endif

}  // namespace kalvoran::test
