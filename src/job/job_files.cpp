#include "job_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kalvoran {
namespace {

class SystemFiles final : public JobFiles {
 public:
  int CreateExclusive(int dirFd, const char* name, int& fd) override {
    fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd < 0 ? errno : 0;
  }

  int WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) override {
    while (count > 0) {
      const ssize_t n = ::pwrite(fd, data, count, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) return ENOSPC;
      data += n;
      offset += n;
      count -= static_cast<std::size_t>(n);
    }
    return 0;
  }

  int SetSize(int fd, std::int64_t size) override {
    while (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      if (errno != EINTR) return errno;
    }
    return 0;
  }

  int Close(int fd) override {
    // Linux releases the descriptor even when close reports EINTR; retrying
    // could close a descriptor another thread has just been given.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
  }

  int RenameNoReplace(int dirFd, const char* from, const char* to) override {
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0) return 0;
    const int error = errno;
    // Some file systems do not know the flag; a hard link refuses an existing
    // target just as well, and the old name is dropped afterwards.
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return error;
    if (::linkat(dirFd, from, dirFd, to, 0) != 0) return errno;
    ::unlinkat(dirFd, from, 0);
    return 0;
  }
};

}  // namespace

JobFiles& SystemJobFiles() {
  static SystemFiles files;
  return files;
}

int OpenJobFolder(const std::string& workingDirectory, const char* name) {
  const int base = ::open(workingDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) return -errno;
  const int made = ::mkdirat(base, name, 0777) == 0 ? 0 : errno;
  const int dirFd = ::openat(base, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int error = errno;
  ::close(base);
  if (dirFd >= 0) return dirFd;
  // A folder that could not be made is missing for that reason.
  return -(error == ENOENT && made != 0 ? made : error);
}

void CloseJobFolder(int dirFd) {
  ::close(dirFd);
}

void RemoveJobEntry(int dirFd, const char* name) {
  // unlinkat never follows a link: a link at the name goes, not its target.
  if (::unlinkat(dirFd, name, 0) != 0 && (errno == EISDIR || errno == EPERM)) {
    ::unlinkat(dirFd, name, AT_REMOVEDIR);  // only an empty folder goes
  }
}

int LockJobFolder(int dirFd, const char* name, int& lockFd) {
  // flock, not fcntl: its lock belongs to the open file, so a second job in
  // this very process is refused too, and no other close in the process drops it.
  for (;;) {
    const int fd = ::openat(dirFd, name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno == EWOULDBLOCK ? EAGAIN : errno;
      ::close(fd);
      return error;
    }
    // The job before may have removed the file between our open and our
    // lock: a lock on a file that is no longer in the folder holds nothing.
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      lockFd = fd;
      return 0;
    }
    ::close(fd);
  }
}

void UnlockJobFolder(int dirFd, const char* name, int lockFd) {
  // Removed while still locked, so that nobody wins a lock on it afterwards.
  ::unlinkat(dirFd, name, 0);
  ::close(lockFd);
}

}  // namespace kalvoran
