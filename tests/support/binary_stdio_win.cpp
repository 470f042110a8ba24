// Linked into every test program of the Windows build: standard output and
// error pass bytes through unchanged (no CR before each LF), so that the
// test lists and outputs read the same as on Linux.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

const bool kBinaryStdio = [] {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return true;
}();

}  // namespace
