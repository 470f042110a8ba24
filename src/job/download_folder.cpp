#include "download_folder.h"

#include <cerrno>
#include <cstring>

#include "cp1250.h"
#include "errors.h"

namespace kalvoran {

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsRefusedOnWindows(std::string_view name) {
  if (name.empty()) return false;
  if (name.back() == '.' || name.back() == ' ') return true;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
      return true;
    }
  }
  // The device is the part before the first dot, blanks at its end ignored:
  // "con", "NUL.txt" and "COM1 .log" all open a device.
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (EqualsNoCase(base, device)) return true;
  }
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
    const std::string_view stem = base.substr(0, 3);
    return EqualsNoCase(stem, "COM") || EqualsNoCase(stem, "LPT");
  }
  return false;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of(std::string_view("/\\:\0", 4)) != std::string_view::npos) return false;
#ifdef _WIN32
  if (IsRefusedOnWindows(name)) return false;
#endif
  return true;
}

bool IsJobFileName(std::string_view name) {
#ifdef _WIN32
  return EqualsNoCase(name, kTempFileName) || EqualsNoCase(name, kLockFileName);
#else
  return name == kTempFileName || name == kLockFileName;
#endif
}

DownloadFolder::~DownloadFolder() {
  Release();
}

bool DownloadFolder::Open(const std::string& workingDirectory) {
  Release();
  const int dirFd = OpenJobFolder(workingDirectory, kDownloadFolderName);
  if (dirFd < 0) {
    openError_ = -dirFd;
    return true;
  }
  int lockFd = -1;
  if (const int error = LockJobFolder(dirFd, kLockFileName, lockFd)) {
    CloseJobFolder(dirFd);
    openError_ = error;
    return error != EAGAIN;
  }
  const std::lock_guard lock(mutex_);
  dirFd_ = dirFd;
  lockFd_ = lockFd;
  return true;
}

void DownloadFolder::Release() {
  const std::lock_guard lock(mutex_);
  if (dirFd_ < 0) return;
  UnlockJobFolder(dirFd_, kLockFileName, lockFd_);
  CloseJobFolder(dirFd_);
  dirFd_ = -1;
  lockFd_ = -1;
}

std::unique_ptr<TempFileStream> DownloadFolder::CreateTemp() {
  int error = openError_;
  if (dirFd_ >= 0) {
    RemoveJobEntry(dirFd_, kTempFileName);
    int fd = -1;
    error = files_.CreateExclusive(dirFd_, kTempFileName, fd);
    if (error == 0) return std::make_unique<TempFileStream>(files_, fd);
  }
  throw EStreamError(std::string("Cannot create the file: ") + std::strerror(error), error);
}

std::optional<std::string> DownloadFolder::SaveTempAs(std::string_view cp1250Name, int* error) {
  int ignored = 0;
  int& failure = error != nullptr ? *error : ignored;
  failure = ENOENT;
  if (dirFd_ < 0) return std::nullopt;
  const std::string name = Cp1250ToUtf8(cp1250Name);
  std::string prefix;
  for (unsigned long c = 0;; ++c) {
    if (c > 0) prefix = std::to_string(c) + "_";
    const std::string target = prefix + name;
    failure = IsJobFileName(target) ? EEXIST
                                    : files_.RenameNoReplace(dirFd_, kTempFileName, target.c_str());
    if (failure == 0) return prefix;
    if (failure != EEXIST && failure != ENOTEMPTY) return std::nullopt;
  }
}

void DownloadFolder::RemoveTemp() {
  const std::lock_guard lock(mutex_);
  if (dirFd_ >= 0) RemoveJobEntry(dirFd_, kTempFileName);
}

}  // namespace kalvoran
