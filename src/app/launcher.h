#pragma once
// Everything the program hands to the desktop: the browser on an address, the
// file manager on a folder, a file with the program associated with it. Paths
// are relative to the working directory. A launch that fails is ignored, so
// nothing is returned.
#include <QString>

namespace kalvoran {

class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual void OpenAddress(const QString& url) = 0;
  virtual void OpenFolder(const QString& path) = 0;
  virtual void OpenFile(const QString& path) = 0;
};

}  // namespace kalvoran
