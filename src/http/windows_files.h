#pragma once
// What the file code of the Windows build shares: names go to the wide API as
// UTF-16, and Windows' error codes come back as the errno values the rest of
// the program reports. Built on Windows only.
#include <string>
#include <string_view>

namespace kalvoran {

// UTF-8 to UTF-16; false for a text that is not valid UTF-8.
bool Utf8ToWide(std::string_view utf8, std::wstring& wide);

// The errno value for a Windows error code (EIO for one without a match).
int ErrnoForWindowsError(unsigned long error);

// The same for GetLastError().
int LastWindowsErrno();

}  // namespace kalvoran
