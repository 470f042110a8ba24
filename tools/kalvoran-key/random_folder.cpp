#include "random_folder.h"

#include <cstddef>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>
#else
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace kalvoran::tools {
namespace {

constexpr std::size_t kBytes = 16;  // 128 bits

#ifdef _WIN32
void FillRandom(unsigned char* bytes, std::size_t count) {
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    throw std::runtime_error("BCryptGenRandom failed");
  }
}
#else
// getrandom() blocks until the kernel's source is seeded, never later; a
// kernel without it has /dev/urandom.
void FillRandom(unsigned char* bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::getrandom(bytes + done, count - done, 0);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == ENOSYS) {
      break;
    } else if (got < 0 && errno != EINTR) {
      throw std::runtime_error("getrandom failed");
    }
  }
  if (done == count) return;
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open /dev/urandom");
  while (done < count) {
    const ssize_t got = ::read(fd, bytes + done, count - done);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      ::close(fd);
      throw std::runtime_error("cannot read /dev/urandom");
    }
  }
  ::close(fd);
}
#endif

}  // namespace

std::string RandomFolderName() {
  unsigned char bytes[kBytes];
  FillRandom(bytes, kBytes);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name;
  for (const unsigned char byte : bytes) {
    name += kDigits[byte >> 4];
    name += kDigits[byte & 0xF];
  }
  return name;
}

}  // namespace kalvoran::tools
