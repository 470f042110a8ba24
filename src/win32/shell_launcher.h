#pragma once
// The launcher of the running program: the shell's own handlers.
#include "launcher.h"

namespace kalvoran {

class ShellLauncher final : public Launcher {
 public:
  void OpenAddress(const std::wstring& url) override;
  void OpenFolder(const std::wstring& path) override;
  void OpenFile(const std::wstring& path) override;
};

}  // namespace kalvoran
