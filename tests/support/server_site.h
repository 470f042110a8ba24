#pragma once
// The reference server's scripts copied into a temporary folder, with the
// files, marks and statistics folders inside the copy: the layout in which a
// web server that served the whole folder would give everything away, so
// that tests see exactly what the scripts and their configuration let out.
#include <string>
#include <vector>

#include "temp_dir.h"

namespace kalvoran::test {

class ServerSite {
 public:
  // Run as root, the servers' workers run as this user.
  static constexpr const char* kWorkerUser = "nobody";

  // serverDir: the checkout's server/ folder.
  explicit ServerSite(const std::string& serverDir);

  const std::string& Path() const { return dir_.Path(); }
  std::string ServeScript() const { return Path() + "/serve.sh"; }
  std::string FilesRoot() const { return Path() + "/files"; }
  std::string MarksRoot() const { return Path() + "/marks"; }
  std::string StatsRoot() const { return Path() + "/stats"; }
  // KALVORAN_SERVER_FILES, _MARKS and _STATS naming the three folders.
  std::vector<std::string> Environment() const;

  // Makes files/<relative>, and the folders on the way, for the workers too:
  // they delete files in it on clean-up requests. Its path.
  std::string MakeFolder(const std::string& relative) const;

 private:
  TempDir dir_{"kalvoran-site"};
};

}  // namespace kalvoran::test
