#include "server_site.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace kalvoran::test {
namespace fs = std::filesystem;
namespace {

// The workers may change the folder: as root, it becomes theirs.
void HandToWorkers(const std::string& path) {
  if (::geteuid() != 0) return;
  if (const passwd* user = ::getpwnam(ServerSite::kWorkerUser)) {
    if (::chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
      throw fs::filesystem_error("chown", path, std::error_code(errno, std::generic_category()));
    }
  }
}

}  // namespace

ServerSite::ServerSite(const std::string& serverDir) {
  // The workers reach the scripts and folders through it.
  fs::permissions(Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  // What the checkout's folder holds besides, such as packages or records
  // of a server run by hand, stays out.
  for (const char* part : {"DOWNLOADER", "lib", "deploy", "serve.sh"}) {
    fs::copy(serverDir + "/" + part, Path() + "/" + part, fs::copy_options::recursive);
  }
  for (const std::string& folder : {FilesRoot(), MarksRoot(), StatsRoot()}) {
    fs::create_directories(folder);
    HandToWorkers(folder);
  }
}

std::vector<std::string> ServerSite::Environment() const {
  return {"KALVORAN_SERVER_FILES=" + FilesRoot(), "KALVORAN_SERVER_MARKS=" + MarksRoot(),
          "KALVORAN_SERVER_STATS=" + StatsRoot()};
}

std::string ServerSite::MakeFolder(const std::string& relative) const {
  fs::path path = FilesRoot();
  for (const auto& segment : fs::path(relative)) {
    path /= segment;
    if (fs::create_directory(path)) HandToWorkers(path.string());
  }
  return path.string();
}

}  // namespace kalvoran::test
