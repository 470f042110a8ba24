#include "job_test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>

#include "http_client.h"
#include "job_files.h"
#include "key_encoder.h"

namespace kalvoran::test {
namespace fs = std::filesystem;

void HeadlessWindow::ZaciatokStahovania(HttpClient& sender, TWorkMode, std::int64_t) {
  if (RefuseErrorResponse(sender)) {
    ++refusals;
    return;
  }
  beginTags.push_back(sender.Tag);
  lastCount_ = 0;
}

void HeadlessWindow::Stahovanie(HttpClient& sender, TWorkMode, std::int64_t countSoFar) {
  if (sender.Response().ContentStream != nullptr) {
    auto& seen = sizeSeen[sender.Tag];
    seen = std::max(seen, sender.Response().ContentStream->Size());
  }
  if (countSoFar > 0) bodyArriving = true;
  if (countSoFar < lastCount_) countWentBack = true;
  lastCount_ = countSoFar;
}

std::string HeadlessWindow::LangCode() {
  std::lock_guard lock(langMutex_);
  return langCode_;
}

void HeadlessWindow::SetLangCode(std::string code) {
  std::lock_guard lock(langMutex_);
  langCode_ = std::move(code);
}

std::string KeyFor(const std::string& descriptor) {
  return EncodeKeyOrThrow(descriptor);
}

std::vector<std::string> FolderEntries(const WorkingDir& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(PathFromUtf8(dir.Folder()), error)) {
    names.push_back(Utf8Path(entry.path().filename()) +
                    (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

DownloadJobOptions OptionsFor(const ScriptedServer& server, const WorkingDir& dir,
                              JobFiles* files) {
  DownloadJobOptions options;
  const std::string host = server.HostPort();
  options.Servers = {{host, host, host}, host};
  options.WorkingDirectory = dir.Path();
  options.Files = files;
  return options;
}

Script CountedReply(const std::string& body) {
  return Script()
      .ReadHead()
      .Send("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body)
      .Close();
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

#ifndef _WIN32
bool ReferenceServer::Available() {
  return ::access(KALVORAN_PHP, X_OK) == 0;
}

ReferenceServer::ReferenceServer(std::vector<std::string> settings) {
  for (const std::string& folder : {FilesRoot(), MarksRoot(), StatsRoot()}) {
    fs::create_directories(folder);
  }
  CopyServerScripts(KALVORAN_SERVER_DIR, root_.Path());
  if (!Available()) return;
  ServerProcess::Options options;
  options.arguments = [this](int port) -> std::vector<std::string> {
    return {root_.Path() + "/serve.sh", std::to_string(port)};
  };
  options.environment = {"KALVORAN_SERVER_FILES=" + FilesRoot(),
                         "KALVORAN_SERVER_STATS=" + StatsRoot(),
                         "KALVORAN_SERVER_MARKS=" + MarksRoot(), "KALVORAN_PHP=" KALVORAN_PHP};
  options.environment.insert(options.environment.end(), settings.begin(), settings.end());
  options.logPath = root_.Path() + "/php.log";
  options.attempts = 5;
  options.startLimit = std::chrono::seconds(5);
  process_ = std::make_unique<ServerProcess>(std::move(options));
}

std::unique_ptr<ServerProcess> StartFaultRelay(const std::string& upstream, std::size_t cut,
                                               const std::string& report) {
  ServerProcess::Options options;
  const std::string relay = KALVORAN_SERVER_DIR "/../bench/fault_relay.py";
  options.arguments = [=](int port) -> std::vector<std::string> {
    const std::string listen = std::to_string(port);
    return {"/usr/bin/env", "python3",           relay,      "--listen", listen,
            "--cut",        std::to_string(cut), "--report", report,     upstream};
  };
  options.logPath = report + ".log";
  return std::make_unique<ServerProcess>(std::move(options));
}

long long RelayedBytes(const std::string& report) {
  std::smatch m;
  const std::string text = ReadFile(report);
  return std::regex_search(text, m, std::regex("wire_bytes ([0-9]+)")) ? std::stoll(m[1]) : -1;
}

std::string ReferenceServer::MakeFolder(const std::string& relative) const {
  fs::create_directories(FilesRoot() + "/" + relative);
  return FilesRoot() + "/" + relative;
}

#endif

}  // namespace kalvoran::test
