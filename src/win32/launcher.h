#pragma once
// Everything the window hands to the desktop: the browser on an address, the
// file manager on a folder, a file with the program associated with it.
// Paths are relative to the working directory; texts are UTF-16. A launch
// that fails is ignored.
#include <string>

namespace kalvoran {

class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual void OpenAddress(const std::wstring& url) = 0;
  virtual void OpenFolder(const std::wstring& path) = 0;
  virtual void OpenFile(const std::wstring& path) = 0;
};

}  // namespace kalvoran
