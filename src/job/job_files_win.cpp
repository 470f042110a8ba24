// The job's file operations on Windows, through the wide API so that accented
// names work whatever the system's code page. A folder is held as a handle
// opened on it, and every name is taken relative to where that folder is now
// (its final path, in the "\\?\" form that Windows takes literally: no
// device names, no dropped dots or blanks, no length limit of 260).
// Descriptors are the C runtime's over the handles, as the interface has it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "job_files.h"
#include "windows_files.h"

namespace kalvoran {
namespace {

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The path of `name` in the folder held by dirFd, as the folder is now.
int PathIn(int dirFd, const char* name, std::wstring& path) {
  std::wstring wideName;
  if (!Utf8ToWide(name, wideName) || wideName.empty()) return EINVAL;
  const HANDLE dir = HandleOf(dirFd);
  if (dir == INVALID_HANDLE_VALUE) return EBADF;
  path.assign(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(dir, path.data(), static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return LastWindowsErrno();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(n);  // n counts the terminating NUL when the buffer was short
  }
  if (path.empty() || path.back() != L'\\') path += L'\\';
  path += wideName;
  return 0;
}

class SystemFiles final : public JobFiles {
 public:
  int CreateExclusive(int dirFd, const char* name, int& fd) override {
    fd = -1;
    std::wstring path;
    if (const int error = PathIn(dirFd, name, path)) return error;
    // CREATE_NEW fails on any name that is taken, a link or junction
    // included; the reparse flag makes sure none is ever followed.
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastWindowsErrno();
    fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      const int error = errno;
      CloseHandle(file);
      DeleteFileW(path.c_str());
      return error != 0 ? error : EMFILE;
    }
    return 0;
  }

  int WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) override {
    const HANDLE file = HandleOf(fd);
    if (file == INVALID_HANDLE_VALUE) return EBADF;
    while (count > 0) {
      const DWORD piece = count < (DWORD{1} << 30) ? static_cast<DWORD>(count) : DWORD{1} << 30;
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
      DWORD written = 0;
      if (!WriteFile(file, data, piece, &written, &at)) return LastWindowsErrno();
      if (written == 0) return ENOSPC;
      data += written;
      offset += written;
      count -= written;
    }
    return 0;
  }

  int SetSize(int fd, std::int64_t size) override {
    const HANDLE file = HandleOf(fd);
    if (file == INVALID_HANDLE_VALUE) return EBADF;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end))
      return LastWindowsErrno();
    return 0;
  }

  int Close(int fd) override {
    // The runtime releases the descriptor and its handle either way.
    return _close(fd) == 0 ? 0 : errno;
  }

  int RenameNoReplace(int dirFd, const char* from, const char* to) override {
    std::wstring source;
    std::wstring target;
    if (const int error = PathIn(dirFd, from, source)) return error;
    if (const int error = PathIn(dirFd, to, target)) return error;
    // Without MOVEFILE_REPLACE_EXISTING a name that is taken, by a file, a
    // folder or a link, refuses the move.
    if (!MoveFileExW(source.c_str(), target.c_str(), 0)) return LastWindowsErrno();
    return 0;
  }
};

}  // namespace

JobFiles& SystemJobFiles() {
  static SystemFiles files;
  return files;
}

int OpenJobFolder(const std::string& workingDirectory, const char* name) {
  std::wstring base;
  std::wstring folder;
  if (!Utf8ToWide(workingDirectory, base) || !Utf8ToWide(name, folder)) return -EINVAL;
  if (base.empty()) base = L".";
  if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
  const std::wstring path = base + folder;
  const int made = CreateDirectoryW(path.c_str(), nullptr) ? 0 : LastWindowsErrno();
  // Shared for deleting too: the user may rename or remove the folder while
  // the program runs; the names follow the folder wherever it went.
  const HANDLE dir = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) {
    // A folder that could not be made is missing for that reason.
    const int error = LastWindowsErrno();
    return -(error == ENOENT && made != 0 ? made : error);
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(dir), _O_RDONLY);
  if (fd < 0) {
    CloseHandle(dir);
    return -EMFILE;
  }
  return fd;
}

void CloseJobFolder(int dirFd) {
  _close(dirFd);
}

void RemoveJobEntry(int dirFd, const char* name) {
  std::wstring path;
  if (PathIn(dirFd, name, path) != 0) return;
  // DeleteFileW and RemoveDirectoryW take a link or junction itself away,
  // never what it points to; a folder goes only when it is empty.
  if (!DeleteFileW(path.c_str()) && GetLastError() == ERROR_ACCESS_DENIED) {
    RemoveDirectoryW(path.c_str());
  }
}

int LockJobFolder(int dirFd, const char* name, int& lockFd) {
  std::wstring path;
  if (const int error = PathIn(dirFd, name, path)) return error;
  // Shared with nobody: any other open of the file fails while this handle
  // lives, in this process too. The system closes the handle when the
  // process ends, and closing it deletes the file. The folder itself stays
  // shared, so the file manager and the open-folder button go on working.
  const HANDLE file = CreateFileW(
      path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? EAGAIN : LastWindowsErrno();
  }
  lockFd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (lockFd < 0) {
    CloseHandle(file);
    return EMFILE;
  }
  return 0;
}

void UnlockJobFolder(int, const char*, int lockFd) {
  _close(lockFd);  // the last handle: the file goes with it
}

}  // namespace kalvoran
