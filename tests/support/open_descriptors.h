#pragma once
// Counting this process's open descriptors, to catch a leak across a call.
// On Windows: the process's open handles (files, sockets, threads, events).
#ifdef _WIN32
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <vector>
#else
#include <dirent.h>
#endif

namespace kalvoran::test {

#ifdef _WIN32
// What POSIX calls descriptors are the handles of the kind "File" on
// Windows: files, folders, sockets and pipes. They are counted in the
// system's handle table (SystemHandleInformation), which Wine fills in too;
// the kind's number is learnt from a handle of a known kind. Threads and
// synchronisation objects are not counted: the threads library keeps some of
// those of its own.
inline int OpenDescriptors() {
  struct Entry {
    ULONG process;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  constexpr auto kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
  const HANDLE probe = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return -1;
  std::vector<unsigned char> buffer(1 << 20);
  int count = -1;
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                                     static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status < 0) break;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const ULONG self = GetCurrentProcessId();
    int fileType = -1;
    for (ULONG i = 0; i < table->count; ++i) {
      const Entry& e = table->entries[i];
      if (e.process == self && e.handle == reinterpret_cast<std::uintptr_t>(probe)) {
        fileType = e.objectType;
      }
    }
    if (fileType < 0) break;
    count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
      const Entry& e = table->entries[i];
      count += e.process == self && e.objectType == fileType;
    }
    break;
  }
  CloseHandle(probe);
  return count;  // the probe included, as each count includes it
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
