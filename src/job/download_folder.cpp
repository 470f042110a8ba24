#include "download_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cp1250.h"
#include "errors.h"

namespace kalvoran {

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

DownloadFolder::~DownloadFolder() {
  if (dirFd_ >= 0) ::close(dirFd_);
}

void DownloadFolder::Open(const std::string& workingDirectory) {
  if (dirFd_ >= 0) {
    ::close(dirFd_);
    dirFd_ = -1;
  }
  const int base = ::open(workingDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base < 0) return;
  ::mkdirat(base, kDownloadFolderName, 0777);
  dirFd_ = ::openat(base, kDownloadFolderName, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ::close(base);
}

std::unique_ptr<TempFileStream> DownloadFolder::CreateTemp() {
  int error = ENOENT;
  if (dirFd_ >= 0) {
    // unlinkat never follows a link: a link at the name goes, not its target.
    if (::unlinkat(dirFd_, kTempFileName, 0) != 0 && (errno == EISDIR || errno == EPERM)) {
      ::unlinkat(dirFd_, kTempFileName, AT_REMOVEDIR);  // only an empty folder goes
    }
    int fd = -1;
    error = files_.CreateExclusive(dirFd_, kTempFileName, fd);
    if (error == 0) return std::make_unique<TempFileStream>(files_, fd);
  }
  throw EStreamError(std::string("Cannot create the file: ") + std::strerror(error));
}

std::optional<std::string> DownloadFolder::SaveTempAs(std::string_view cp1250Name) {
  if (dirFd_ < 0) return std::nullopt;
  const std::string name = Cp1250ToUtf8(cp1250Name);
  std::string prefix;
  for (unsigned long c = 0;; ++c) {
    if (c > 0) prefix = std::to_string(c) + "_";
    const int error = files_.RenameNoReplace(dirFd_, kTempFileName, (prefix + name).c_str());
    if (error == 0) return prefix;
    if (error != EEXIST && error != ENOTEMPTY) return std::nullopt;
  }
}

void DownloadFolder::RemoveTemp() {
  if (dirFd_ >= 0) ::unlinkat(dirFd_, kTempFileName, 0);
}

}  // namespace kalvoran
