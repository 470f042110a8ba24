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
// files, folders, sockets, pipes (the threads library keeps events and
// threads of its own). The handle values of this process are tried in turn:
// under Wine, reading the system's handle table, which walks every process of
// the session, left test programs hanging on their way out.
inline int OpenDescriptors() {
  // Handle values are multiples of four, handed out from the lowest free
  // one: past a long run of free values no handle is left.
  constexpr std::uintptr_t kFreeRun = 256;
  int files = 0;
  for (std::uintptr_t value = 4, free = 0; free < kFreeRun; value += 4) {
    const HANDLE h = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    free = GetHandleInformation(h, &flags) ? 0 : free + 1;
    if (free > 0) continue;
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
