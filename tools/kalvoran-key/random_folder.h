#pragma once
// A name for a package's folder on the server that nobody can guess. A key is
// only scrambled, not signed: whoever has seen one key can write another for
// any folder he can name. A folder of 128 random bits, from the operating
// system's secure source, cannot be named without its key.
#include <string>

namespace kalvoran::tools {

// 32 lower-case hexadecimal digits; throws std::runtime_error when the system
// gives no random bytes.
std::string RandomFolderName();

}  // namespace kalvoran::tools
