#include "file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "errors.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "windows_files.h"
#else
#include <unistd.h>
#endif

namespace kalvoran {

namespace {

int CloseFile(int fd) {
#ifdef _WIN32
  return _close(fd);
#else
  return ::close(fd);
#endif
}

int OpenFile(const std::string& path, FileStream::OpenMode mode) {
#ifdef _WIN32
  // The handle is opened on a link or junction itself, never on what it
  // points to, and such a name is refused, as O_NOFOLLOW does.
  DWORD disposition = OPEN_EXISTING;
  if (mode == FileStream::OpenMode::kCreateNew) disposition = CREATE_NEW;
  if (mode == FileStream::OpenMode::kCreateOrTruncate) disposition = OPEN_ALWAYS;
  std::wstring widePath;
  if (!Utf8ToWide(path, widePath)) {
    errno = EINVAL;
    return -1;
  }
  const HANDLE file =
      CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = LastWindowsErrno();
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_END_OF_FILE_INFO empty{};
  int error = 0;
  if (!GetFileInformationByHandle(file, &info)) {
    error = LastWindowsErrno();
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error = ELOOP;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = EISDIR;
  } else if (mode == FileStream::OpenMode::kCreateOrTruncate &&
             !SetFileInformationByHandle(file, FileEndOfFileInfo, &empty, sizeof empty)) {
    error = LastWindowsErrno();
  }
  if (error != 0) {
    CloseHandle(file);
    errno = error;
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0) CloseHandle(file);
  return fd;
#else
  int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
  if (mode == FileStream::OpenMode::kCreateNew) flags |= O_CREAT | O_EXCL;
  if (mode == FileStream::OpenMode::kCreateOrTruncate) flags |= O_CREAT | O_TRUNC;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
#endif
}

}  // namespace

FileStream::FileStream(const std::string& path, OpenMode mode) : path_(path) {
  if (path.find('\0') != std::string::npos) Fail("open", EINVAL);
  fd_ = OpenFile(path, mode);
  if (fd_ < 0) Fail("open", errno);
#ifdef _WIN32
  struct _stat64 st;
  if (_fstat64(fd_, &st) != 0) {
#else
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
#endif
    int error = errno;
    CloseFile(fd_);
    fd_ = -1;
    Fail("open", error);
  }
  size_ = static_cast<std::int64_t>(st.st_size);
}

FileStream::~FileStream() {
  if (fd_ >= 0) CloseFile(fd_);
}

void FileStream::Fail(const char* action, int error) const {
  throw EStreamError(std::string("Cannot ") + action + " file \"" + path_ +
                     "\": " + std::strerror(error));
}

void FileStream::RequireOpen() const {
  if (fd_ < 0) throw EStreamError("File \"" + path_ + "\" is closed.");
}

void FileStream::Seek(std::int64_t position) {
  RequireOpen();
  if (position < 0) Fail("seek in", EINVAL);
  position_ = position;
}

void FileStream::SetSize(std::int64_t size) {
  RequireOpen();
  if (size < 0) Fail("resize", EINVAL);
#ifdef _WIN32
  if (_chsize_s(fd_, size) != 0) Fail("resize", errno);
#else
  int r;
  do {
    r = ::ftruncate(fd_, static_cast<off_t>(size));
  } while (r != 0 && errno == EINTR);
  if (r != 0) Fail("resize", errno);
#endif
  size_ = size;
  if (position_ > size_) position_ = size_;
}

void FileStream::Write(const char* data, std::size_t count) {
  RequireOpen();
  while (count > 0) {
    // Large writes go in pieces the system takes whole.
    std::size_t piece = count < (std::size_t{1} << 30) ? count : (std::size_t{1} << 30);
#ifdef _WIN32
    if (_lseeki64(fd_, position_, SEEK_SET) < 0) Fail("write", errno);
    auto n = static_cast<std::int64_t>(_write(fd_, data, static_cast<unsigned>(piece)));
#else
    auto n = static_cast<std::int64_t>(::pwrite(fd_, data, piece, static_cast<off_t>(position_)));
#endif
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write", errno);
    }
    if (n == 0) Fail("write", ENOSPC);  // the system took nothing and said nothing
    data += n;
    count -= static_cast<std::size_t>(n);
    position_ += n;
    if (position_ > size_) size_ = position_;
  }
}

void FileStream::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  // close() releases the descriptor even when it reports an error.
  if (CloseFile(fd) != 0 && errno != EINTR) Fail("close", errno);
}

}  // namespace kalvoran
