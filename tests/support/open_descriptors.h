#pragma once
// Counting this process's open descriptors, to catch a leak across a call.
#include <dirent.h>

namespace kalvoran::test {

// Open descriptors of this process, the one that reads the count included.
inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return count;
}

}  // namespace kalvoran::test
