// What Windows' shell says about an installation, for the installer's test:
//   kalvoran-shell-probe.exe link FILE     the shortcut's target and working
//                                           folder, a line each
//   kalvoran-shell-probe.exe folder NAME    a known folder: downloads,
//                                           local-app-data or start-menu
// printed in UTF-8.
#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Print(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  std::printf("%s\n", out.c_str());
}

int Link(const wchar_t* file) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return 2;
  }
  IPersistFile* persisted = nullptr;
  wchar_t target[MAX_PATH] = L"";
  wchar_t folder[MAX_PATH] = L"";
  bool read =
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persisted))) &&
      SUCCEEDED(persisted->Load(file, STGM_READ)) &&
      SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
      SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH));
  if (persisted) persisted->Release();
  link->Release();
  if (!read) return 3;
  Print(target);
  Print(folder);
  return 0;
}

int KnownFolder(const wchar_t* name) {
  const KNOWNFOLDERID* id = std::wcscmp(name, L"downloads") == 0        ? &FOLDERID_Downloads
                            : std::wcscmp(name, L"local-app-data") == 0 ? &FOLDERID_LocalAppData
                            : std::wcscmp(name, L"start-menu") == 0     ? &FOLDERID_Programs
                                                                        : nullptr;
  wchar_t* path = nullptr;
  if (!id || FAILED(SHGetKnownFolderPath(*id, 0, nullptr, &path))) return 3;
  Print(path);
  CoTaskMemFree(path);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: kalvoran-shell-probe link FILE | folder NAME\n", stderr);
    return 64;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = std::wcscmp(argv[1], L"link") == 0     ? Link(argv[2])
                     : std::wcscmp(argv[1], L"folder") == 0 ? KnownFolder(argv[2])
                                                            : 64;
  CoUninitialize();
  return status;
}
