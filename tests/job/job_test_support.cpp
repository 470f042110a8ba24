#include "job_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

#include "http_client.h"
#include "job_files.h"
#include "key_encoder.h"

extern char** environ;

namespace kalvoran::test {
namespace fs = std::filesystem;

void HeadlessWindow::ZaciatokStahovania(HttpClient& sender, TWorkMode, std::int64_t) {
  if (RefuseErrorResponse(sender)) return;
  beginTags.push_back(sender.Tag);
}

void HeadlessWindow::Stahovanie(HttpClient& sender, TWorkMode, std::int64_t countSoFar) {
  if (sender.Response().ContentStream != nullptr) {
    auto& seen = sizeSeen[sender.Tag];
    seen = std::max(seen, sender.Response().ContentStream->Size());
  }
  if (countSoFar > 0) bodyArriving = true;
}

std::string HeadlessWindow::LangCode() {
  std::lock_guard lock(langMutex_);
  return langCode_;
}

void HeadlessWindow::SetLangCode(std::string code) {
  std::lock_guard lock(langMutex_);
  langCode_ = std::move(code);
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kalvoran-job-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string KeyFor(const std::string& descriptor) {
  return EncodeKeyOrThrow(descriptor);
}

std::vector<std::string> FolderEntries(const TempDir& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir.Folder(), error)) {
    names.push_back(entry.path().filename().string() +
                    (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string TestBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(random() & 0xFF);
  return bytes;
}

bool FaultyFiles::Fails(Op op) {
  return op == op_ && ++calls_[op] == nth_;
}

int FaultyFiles::CreateExclusive(int dirFd, const char* name, int& fd) {
  return Fails(kCreate) ? error_ : SystemJobFiles().CreateExclusive(dirFd, name, fd);
}
int FaultyFiles::WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) {
  return Fails(kWrite) ? error_ : SystemJobFiles().WriteAt(fd, offset, data, count);
}
int FaultyFiles::SetSize(int fd, std::int64_t size) {
  return Fails(kSetSize) ? error_ : SystemJobFiles().SetSize(fd, size);
}
int FaultyFiles::Close(int fd) {
  const int result = SystemJobFiles().Close(fd);  // the descriptor goes either way
  return Fails(kClose) ? error_ : result;
}
int FaultyFiles::RenameNoReplace(int dirFd, const char* from, const char* to) {
  return Fails(kRename) ? error_ : SystemJobFiles().RenameNoReplace(dirFd, from, to);
}

namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool ReferenceServer::Available() {
  return ::access(KALVORAN_PHP, X_OK) == 0;
}

ReferenceServer::ReferenceServer() {
  fs::create_directories(FilesRoot());
  if (!Available()) return;
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.push_back("KALVORAN_SERVER_FILES=" + FilesRoot());
  env.push_back("KALVORAN_SERVER_STATS=" + StatsRoot());
  env.push_back("KALVORAN_SERVER_MARKS=" + root_.Path() + "/marks");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // The port is free when chosen but not reserved: try again when php lost it.
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreePort();
    std::string php = KALVORAN_PHP;
    std::string s = "-S";
    std::string listen = "127.0.0.1:" + std::to_string(port_);
    std::string t = "-t";
    std::string docroot = KALVORAN_SERVER_DIR;
    char* argv[] = {php.data(), s.data(), listen.data(), t.data(), docroot.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = root_.Path() + "/php.log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, php.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return;

    bool exited = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid, nullptr, WNOHANG) == pid) {  // it could not listen
        exited = true;
        break;
      }
      if (Accepts(port_)) {
        pid_ = pid;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ < 0 && !exited) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
}

ReferenceServer::~ReferenceServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace kalvoran::test
