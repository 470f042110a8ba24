#pragma once
// The launcher of the running program: the desktop's own handlers.
#include "launcher.h"

namespace kalvoran {

class DesktopLauncher final : public Launcher {
 public:
  void OpenAddress(const QString& url) override;
  void OpenFolder(const QString& path) override;
  void OpenFile(const QString& path) override;
};

}  // namespace kalvoran
