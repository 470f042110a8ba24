// The worker against the scripted server: what it asks, what it saves, and
// how every kind of failure ends the job.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>

#include "cancel_flag.h"
#include "download_thread.h"
#include "job_test_support.h"
#include "loopback_socket.h"
#include "mac_address.h"
#include "program_run.h"
#include "proxy_variables.h"
#include "scripted_server.h"
#include "statistics.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::CountedReply;
using test::FaultyFiles;
using test::FolderEntries;
using test::HeadlessWindow;
using test::KeyFor;
using test::OptionsFor;
using test::ReadFile;
using test::Script;
using test::ScriptedServer;
using test::TestBytes;
using test::WorkingDir;
using Names = std::vector<std::string>;

std::string Head(std::size_t length, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n" +
         extra + "Content-Length: " + std::to_string(length) + "\r\n\r\n";
}
Script Serve(const std::string& body, const std::string& extra = "") {
  return Script().ReadHead().Send(Head(body.size(), extra) + body).Close();
}
std::string RequestLine(const ScriptedServer& server, int connection) {
  const std::string received = server.Received(connection);
  return received.substr(0, received.find("\r\n"));
}
std::string DownloadLine(const std::string& query) {
  return "GET /DOWNLOADER/DownloadStream1v1.php?Reg=OK&" + query + " HTTP/1.1";
}

class WorkerTest : public ::testing::Test {
 protected:
  // Runs a job to its end (thread and end hook) and returns the worker.
  std::unique_ptr<TDownloadThread> Run(HeadlessWindow& window, DownloadJobOptions options) {
    auto worker = std::make_unique<TDownloadThread>(window, std::move(options));
    EXPECT_EQ(worker->ReturnValue, -1);
    worker->Start();
    EXPECT_TRUE(worker->WaitFor(20s));
    return worker;
  }

  WorkingDir dir;
  ScriptedServer server{30s};
};

TEST_F(WorkerTest, SavesEveryFileAndSendsTheRequestsAsBuilt) {
  const Names names = {"a b.bin", "c.bin", "d.bin"};
  const std::string descriptor = "1;noo;my pack;a b.bin*c.bin*d.bin;c.bin";
  server.AddScript(Serve(TestBytes(5000, 0), "Set-Cookie: sid=42; path=/\r\n"));
  server.AddScript(Serve(TestBytes(70000, 1)));
  server.AddScript(Serve(TestBytes(1, 2)));
  server.AddScript(CountedReply(" Saved"));
  HeadlessWindow window(KeyFor(descriptor) + "\r\nline two is ignored");
  window.SetLangCode("sk");

  const auto worker = Run(window, OptionsFor(server, dir));
  EXPECT_EQ(worker->ReturnValue, 0);
  EXPECT_EQ(worker->RunFile(), "c.bin");
  ASSERT_EQ(FolderEntries(dir), names);
  for (unsigned i = 0; i < 3; ++i) {
    EXPECT_EQ(ReadFile(dir.Folder() + "/" + names[i]),
              TestBytes(std::vector<std::size_t>{5000, 70000, 1}[i], i));
  }
  // Blanks of the folder and the name as "+"; no clean-up after "noo".
  EXPECT_EQ(RequestLine(server, 0), DownloadLine("Zmazat=false&Cesta=my+pack&Subor=a+b.bin"));
  EXPECT_EQ(RequestLine(server, 2), DownloadLine("Zmazat=false&Cesta=my+pack&Subor=d.bin"));
  EXPECT_NE(server.Received(1).find("\r\nCookie: sid=42\r\n"), std::string::npos);
  EXPECT_EQ(server.AcceptedConnections(), 4);

  // The statistics record: time, adapter, descriptor, version; hour stamp read after it.
  const std::regex stats(
      R"(GET /DOWNLOADER/DownloaderStats1v1\.php\?Reg=OK&Jazyk=sk&Subor=(\d{10})\.txt&Text=)"
      R"((\d\d)\.(\d\d)\.(\d{4})\+(\d\d):\d\d:\d\d\*(.*) HTTP/1\.1)");
  std::smatch m;
  const std::string line = RequestLine(server, 3);
  ASSERT_TRUE(std::regex_match(line, m, stats)) << line;
  EXPECT_GE(m[1].str(), m[4].str() + m[3].str() + m[2].str() + m[5].str());
  EXPECT_EQ(m[6].str(), GetMacAddress() + "*1;noo;my+pack;a+b.bin*c.bin*d.bin;c.bin*2.0*");

  // What the window saw: N, the file index in the client's Tag, the stream
  // sized to the announced length during the transfer.
  EXPECT_EQ(window.timerStarts, 1);
  EXPECT_EQ(window.fileCount, 3);
  EXPECT_EQ(window.beginTags, (std::vector<std::int64_t>{0, 1, 2}));
  EXPECT_EQ(window.sizeSeen[1], 70000);
}

TEST_F(WorkerTest, CleanUpFollowsEachFileUnlessFieldTwoIsExactlyNoo) {
  for (const std::string flag : {"noo", "NOO", "no", ""}) {
    SCOPED_TRACE(flag);
    WorkingDir folder;
    ScriptedServer s(30s);
    const bool clean = flag != "noo";
    s.AddScript(Serve("first"));
    if (clean) s.AddScript(Script().ReadHead().Reset());  // a failed clean-up is ignored
    s.AddScript(Serve("second"));
    if (clean) s.AddScript(CountedReply("OK"));
    s.AddScript(CountedReply(" Saved"));
    HeadlessWindow window(KeyFor("2;" + flag + ";p q;a 1.txt*b.txt;"));
    DownloadJobOptions options = OptionsFor(s, folder);
    options.Servers.DownloadServers = {"unused", "unused", s.HostPort()};

    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, 0);
    const std::string zmazat = clean ? "Zmazat=true" : "Zmazat=false";
    EXPECT_EQ(RequestLine(s, 0), DownloadLine(zmazat + "&Cesta=p+q&Subor=a+1.txt"));
    if (clean) {
      EXPECT_EQ(RequestLine(s, 1),
                "GET /DOWNLOADER/DownloadCleaner1v1.php?Reg=OK&Cesta=p+q&Subor=a+1.txt HTTP/1.1");
      EXPECT_EQ(RequestLine(s, 3),
                "GET /DOWNLOADER/DownloadCleaner1v1.php?Reg=OK&Cesta=p+q&Subor=b.txt HTTP/1.1");
    }
    EXPECT_EQ(s.AcceptedConnections(), clean ? 5 : 3);
  }
}

TEST_F(WorkerTest, FailedSecondFileKeepsTheFirstAndEndsWithResultTwo) {
  const std::string part(400, 'p');
  const std::vector<std::pair<const char*, Script>> failures = {
      {"refused with the content type error",
       Script()
           .ReadHead()
           .Send("HTTP/1.1 200 OK\r\nContent-Type: error\r\nContent-Length: 18\r\n\r\n")
           .Send("File not available")
           .WaitForClientClose()},
      {"closed mid-body", Script().ReadHead().Send(Head(1000) + part).Close()},
      {"reset mid-body", Script().ReadHead().Send(Head(1000) + part).Pause(50).Reset()},
      {"status 404",
       Script().ReadHead().Send("HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno")},
      {"closed before the status line", Script().ReadHead().Close()},
  };
  for (const auto& [what, failure] : failures) {
    SCOPED_TRACE(what);
    WorkingDir folder;
    ScriptedServer s(30s);
    s.AddScript(Serve("first"));
    s.AddScript(failure);
    s.AddScript(Serve("third"));
    s.AddScript(CountedReply(" Saved"));
    HeadlessWindow window(KeyFor("0;noo;p;a.bin*b.bin*c.bin;"));
    DownloadJobOptions options = OptionsFor(s, folder);
    options.ResumeTries = 0;  // the breaks would be resumed (from the next script)

    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, 2);
    EXPECT_TRUE(CancelFlag);
    EXPECT_EQ(FolderEntries(folder), Names{"a.bin"});  // no b.bin, no tmp.tmp
    EXPECT_FALSE(s.WaitForConnections(3, 100ms));      // no third file, no statistics
  }
}

TEST_F(WorkerTest, ServerGoingAwayAnywhereInTheBodySavesNoPartialFile) {
  // A counted body cut short comes back from the Get without an error, so the
  // worker itself must notice; a chunked one cut short fails, except when
  // only the closing empty line is missing and the body is whole. (Without
  // resuming: what a resume saves is tested on its own.)
  const std::string body = "0123456789abcdefghijklmnopqrstuvwxyz";
  const std::string counted =
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string chunks =
      "a\r\n" + body.substr(0, 10) + "\r\n1a\r\n" + body.substr(10) + "\r\n0\r\n\r\n";
  struct Cut {
    std::string sent;
    bool whole;
  };
  std::vector<Cut> cuts;
  for (std::size_t k = 0; k < body.size(); ++k)
    cuts.push_back({counted + body.substr(0, k), false});
  for (std::size_t k = 0; k < chunks.size(); ++k) {
    cuts.push_back({chunkedHead + chunks.substr(0, k), k == chunks.size() - 1});
  }
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.sent);
    WorkingDir folder;
    ScriptedServer s(30s);
    s.AddScript(Script().ReadHead().Send(cut.sent).Close());
    s.AddScript(CountedReply(" Saved"));
    HeadlessWindow window(KeyFor("0;noo;p;f.bin;"));
    DownloadJobOptions options = OptionsFor(s, folder);
    options.Servers.DownloadServers = {s.HostPort(), "", ""};
    options.ResumeTries = 0;

    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, cut.whole ? 0 : 2);
    EXPECT_EQ(FolderEntries(folder), cut.whole ? Names{"f.bin"} : Names{});
    if (cut.whole) {
      EXPECT_EQ(ReadFile(folder.Folder() + "/f.bin"), body);
    }
  }
}

TEST_F(WorkerTest, AnInterruptedJobKnowsWhatInterruptedIt) {
  const test::LoopbackSocket absent;  // bound, never listening: refuses
  const std::string nobody = "127.0.0.1:" + std::to_string(absent.Port());
  std::string huge = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 10001; ++i) huge += "X: y\r\n";
  struct Case {
    const char* what;
    Script script;
    std::string server, proxy;  // "": the scripted server; no proxy
    JobFailure cause;
  };
  const std::vector<Case> cases = {
      {"nobody listens", Script(), nobody, "", JobFailure::kUnreachable},
      {"reset", Script().ReadHead().Reset(), "", "", JobFailure::kConnectionLost},
      {"closed", Script().ReadHead().Close(), "", "", JobFailure::kConnectionLost},
      {"cut", Script().ReadHead().Send(Head(9) + "abc").Close(), "", "",
       JobFailure::kConnectionLost},
      {"silent", Script().ReadHead().WaitForClientClose(), "", "", JobFailure::kNoAnswer},
      {"refused",
       Script().ReadHead().Send(
           "HTTP/1.1 200 OK\r\nContent-Type: error\r\nContent-Length: 2\r\n\r\nno"),
       "", "", JobFailure::kRefused},
      {"404", Script().ReadHead().Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"), "",
       "", JobFailure::kServerError},
      {"a head too large", Script().ReadHead().Send(huge), "", "", JobFailure::kNone},
      {"proxy wants credentials",
       Script().ReadHead().Send("HTTP/1.1 407 Proxy Authentication Required\r\n\r\n"), "", "self",
       JobFailure::kProxy},
      {"proxy absent", Script(), "", nobody, JobFailure::kProxy},
      {"proxy unusable", Script(), "", "socks5://" + nobody, JobFailure::kProxy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer s(30s);
    s.AddScript(c.script);
    HeadlessWindow window(KeyFor("1;noo;p;a.bin;"));
    DownloadJobOptions options = OptionsFor(s, dir);
    if (!c.server.empty()) options.Servers = {{c.server, c.server, c.server}, c.server};
    if (!c.proxy.empty()) {
      options.Proxies =
          test::RulesFromVariables({{"http_proxy", c.proxy == "self" ? s.HostPort() : c.proxy},
                                    {"no_proxy", "<-loopback>"}});
    }
    options.ReadTimeout = 300ms;
    options.ResumeTries = 0;
    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, 2);
    EXPECT_EQ(worker->Failure(), c.cause);
  }
}

TEST_F(WorkerTest, UnreadableKeyEndsWithResultOneBeforeAnyRequest) {
  for (const std::string& key : {std::string(""), std::string("A1B"), KeyFor("1 ;noo;p;a;"),
                                 KeyFor("x;noo;p;a;"), "\n" + KeyFor("1;noo;p;a;")}) {
    SCOPED_TRACE(key);
    HeadlessWindow window(key);
    const auto worker = Run(window, OptionsFor(server, dir));
    EXPECT_EQ(worker->ReturnValue, 1);
    EXPECT_TRUE(CancelFlag);
    EXPECT_EQ(window.timerStarts, 1);
    EXPECT_FALSE(fs::exists(dir.Folder()));
  }
  EXPECT_FALSE(server.WaitForConnections(1, 100ms));
}

TEST_F(WorkerTest, FieldOneChoosesTheServerAndAnyOtherNumberFails) {
  for (const auto& [field1, chosen] : std::vector<std::pair<std::string, int>>{
           {"0", 0}, {"  2", 2}, {"$1", 1}, {"3", -1}, {"-1", -1}}) {
    SCOPED_TRACE(field1);
    WorkingDir folder;
    ScriptedServer s0(30s), s1(30s), s2(30s), stats(30s);
    ScriptedServer* servers[] = {&s0, &s1, &s2};
    for (ScriptedServer* s : servers) s->AddScript(Serve("x"));
    stats.AddScript(CountedReply(" Saved"));
    HeadlessWindow window(KeyFor(field1 + ";noo;p;f.txt;"));
    DownloadJobOptions options = OptionsFor(stats, folder);
    for (int i = 0; i < 3; ++i) options.Servers.DownloadServers[i] = servers[i]->HostPort();

    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, chosen < 0 ? 2 : 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(servers[i]->AcceptedConnections(), i == chosen ? 1 : 0);
    EXPECT_EQ(FolderEntries(folder), chosen < 0 ? Names{} : Names{"f.txt"});
  }
}

TEST_F(WorkerTest, ClashesGetPrefixesAndRunFileFollowsTheSavedName) {
  for (const auto& [runFile, expected] : std::vector<std::pair<std::string, std::string>>{
           {"a.txt", "1_a.txt"}, {"b.txt", "1_b.txt"}, {"zz.txt", "zz.txt"}}) {
    WorkingDir folder;
    fs::create_directories(folder.Folder() + "/b.txt");  // a folder takes the name too
    ScriptedServer s(30s);
    for (const char* body : {"one", "two", "three"}) s.AddScript(Serve(body));
    s.AddScript(CountedReply(" Saved"));
    HeadlessWindow window(KeyFor("1;noo;p;a.txt*b.txt*a.txt;" + runFile));
    const DownloadJobOptions options = OptionsFor(s, folder);

    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, 0);
    EXPECT_EQ(worker->RunFile(), expected);
    EXPECT_EQ(FolderEntries(folder), (Names{"1_a.txt", "1_b.txt", "a.txt", "b.txt/"}));
    EXPECT_EQ(ReadFile(folder.Folder() + "/1_a.txt"), "three");
  }
}

TEST_F(WorkerTest, TheJobsOwnFilesAreTakenNames) {
  for (const char* body : {"t", "T", "j", "z"}) server.AddScript(Serve(body));
  server.AddScript(CountedReply(" Saved"));
  HeadlessWindow window(KeyFor("1;noo;p;tmp.tmp*Tmp.tmp*job.lck*z.bin;"));
  EXPECT_EQ(Run(window, OptionsFor(server, dir))->ReturnValue, 0);
#ifdef _WIN32
  const Names saved = {"1_job.lck", "1_tmp.tmp", "2_Tmp.tmp", "z.bin"};
#else
  const Names saved = {"1_job.lck", "1_tmp.tmp", "Tmp.tmp", "z.bin"};
#endif
  EXPECT_EQ(FolderEntries(dir), saved);  // none went with the next file's start
}

TEST_F(WorkerTest, AJobHoldsItsFolderUntilItsProcessEnds) {
  // The holder: a job in a process of its own, stopped halfway through its body.
  const std::string part = TestBytes(3000, 7);
  const std::string held = part + std::string(3000, '\0');
  server.AddScript(Script().ReadHead().Send(Head(held.size()) + part).WaitForRelease());
  server.AddScript(Serve("mine"));
  server.AddScript(CountedReply(" Saved"));
  const std::string temp = dir.Folder() + "/tmp.tmp";
  HeadlessWindow window(KeyFor("1;noo;p;mine.bin;"));
  int second = -1;  // the server's lifetime bounds the wait for the holder's body
  JobFailure cause = JobFailure::kNone;
  test::RunProgram({KALVORAN_HEADLESS_JOB, server.HostPort(), dir.Path(), "1;noo;p;x;"}, [&] {
    if (ReadFile(temp) != held) return false;
    const auto worker = Run(window, OptionsFor(server, dir));
    second = worker->ReturnValue;
    cause = worker->Failure();
    return true;  // kill the holder
  });
  EXPECT_EQ(second, 2);
  EXPECT_EQ(cause, JobFailure::kFolderBusy);
  EXPECT_TRUE(ReadFile(temp) == held) << "the holder's tmp.tmp changed";
  EXPECT_EQ(Run(window, OptionsFor(server, dir))->ReturnValue, 0);
  EXPECT_EQ(FolderEntries(dir), Names{"mine.bin"});
}

TEST_F(WorkerTest, NamesLeavingTheFolderAreRefusedBeforeTheirRequest) {
  for (int i = 0; i < 12; ++i) server.AddScript(Serve("evil"));  // were anything asked
  std::vector<std::string> names = {"../x", "sub/x", "..\\x", "c:x", ".", ".."};
#ifdef _WIN32
  // Devices, names Windows would cut, and its wildcards.
  names.insert(names.end(), {"CON", "nul.txt", "Com1 .log", "x.", "x ", "x?", "a.txt:stream"});
#endif
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    HeadlessWindow window(KeyFor("1;noo;p;" + name + ";"));
    const auto worker = Run(window, OptionsFor(server, dir));
    EXPECT_EQ(worker->ReturnValue, 2);
    EXPECT_EQ(worker->Failure(), JobFailure::kNameRefused);
    EXPECT_EQ(FolderEntries(dir), Names{});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);  // just the folder
  }
  EXPECT_FALSE(server.WaitForConnections(1, 100ms));
}

TEST_F(WorkerTest, CancelOrShutdownWhileABodyArrivesSavesNothing) {
  for (const bool shutdown : {false, true}) {
    SCOPED_TRACE(shutdown ? "program closing" : "CLOSE");
    WorkingDir folder;
    ScriptedServer s(30s);
    // Half the body, then a stop until the test lets it go on.
    s.AddScript(Script()
                    .ReadHead()
                    .Send(Head(100000) + std::string(50000, 'h'))
                    .WaitForRelease()
                    .Send(std::string(50000, 'h'))
                    .Close());
    s.AddScript(CountedReply(" Saved"));
    HeadlessWindow window(KeyFor("1;noo;p;big.bin;"));
    const DownloadJobOptions options = OptionsFor(s, folder);
    auto worker = std::make_unique<TDownloadThread>(window, options);
    worker->Start();
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!window.bodyArriving && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    ASSERT_TRUE(window.bodyArriving);
    EXPECT_EQ(worker->ReturnValue, -1);
    if (shutdown) {
      // The body never goes on: destroying the worker must cut the request.
      const auto start = std::chrono::steady_clock::now();
      worker.reset();
      EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    } else {
      CancelFlag = true;
      s.Release();
      ASSERT_TRUE(worker->WaitFor(20s));
      EXPECT_EQ(worker->ReturnValue, 2);
    }
    EXPECT_EQ(FolderEntries(folder), Names{});
    EXPECT_EQ(s.AcceptedConnections(), 1);
  }
}

// The real file system; the first file that gets its final name sets
// CancelFlag, as CLOSE does when it lands between two files.
class CloseAfterFirstSave final : public JobFiles {
 public:
  int CreateExclusive(int dirFd, const char* name, int& fd) override {
    return SystemJobFiles().CreateExclusive(dirFd, name, fd);
  }
  int WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) override {
    return SystemJobFiles().WriteAt(fd, offset, data, count);
  }
  int SetSize(int fd, std::int64_t size) override { return SystemJobFiles().SetSize(fd, size); }
  int Close(int fd) override { return SystemJobFiles().Close(fd); }
  int RenameNoReplace(int dirFd, const char* from, const char* to) override {
    const int result = SystemJobFiles().RenameNoReplace(dirFd, from, to);
    if (result == 0) CancelFlag = true;
    return result;
  }
};

TEST_F(WorkerTest, CloseBetweenTwoFilesKeepsTheSavedOneAndEndsWithResultZero) {
  for (const std::string flag : {"noo", ""}) {
    SCOPED_TRACE(flag);
    WorkingDir folder;
    ScriptedServer s(30s);
    const bool clean = flag != "noo";
    s.AddScript(Serve("first"));
    if (clean) s.AddScript(CountedReply("OK"));
    s.AddScript(Serve("second"));  // were the job to go on
    s.AddScript(CountedReply(" Saved"));
    CloseAfterFirstSave files;
    HeadlessWindow window(KeyFor("1;" + flag + ";p;a.bin*b.bin;"));

    const auto worker = Run(window, OptionsFor(s, folder, &files));
    EXPECT_EQ(worker->ReturnValue, 0);
    EXPECT_EQ(FolderEntries(folder), Names{"a.bin"});
    EXPECT_EQ(ReadFile(folder.Folder() + "/a.bin"), "first");
    EXPECT_EQ(window.fileCount, 1);
    // The saved file still gets its clean-up; no second file, no statistics.
    if (clean) {
      EXPECT_EQ(RequestLine(s, 1),
                "GET /DOWNLOADER/DownloadCleaner1v1.php?Reg=OK&Cesta=p&Subor=a.bin HTTP/1.1");
    }
    EXPECT_FALSE(s.WaitForConnections(clean ? 3 : 2, 100ms));
  }
}

TEST_F(WorkerTest, FileFailuresEndTheJobAndRemoveTheTemporaryFile) {
  struct Case {
    FaultyFiles::Op op;
    int nth;
    int error;
    int result;
    Names saved;
    JobFailure cause = JobFailure::kNone;  // what the user is told
  };
  const std::vector<Case> cases = {
      {FaultyFiles::kCreate, 2, EACCES, 2, {"a.bin"}, JobFailure::kFolderNotWritable},
      {FaultyFiles::kSetSize, 2, EFBIG, 2, {"a.bin"}},
      {FaultyFiles::kSetSize, 1, ENOSPC, 2, {}, JobFailure::kDiskFull},
      {FaultyFiles::kWrite, 1, ENOSPC, 2, {}, JobFailure::kDiskFull},
      {FaultyFiles::kClose, 3, EIO, 2, {"a.bin", "b.bin"}},
      {FaultyFiles::kClose, 1, ENOSPC, 2, {}, JobFailure::kDiskFull},
      {FaultyFiles::kRename, 2, EIO, 2, {"a.bin"}},
      {FaultyFiles::kRename, 1, EINVAL, 2, {}, JobFailure::kNameRefused},
      {FaultyFiles::kRename, 1, EROFS, 2, {}, JobFailure::kFolderNotWritable},
      {FaultyFiles::kRename, 1, EEXIST, 0, {"1_a.bin", "b.bin", "c.bin"}},  // taken: next prefix
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << c.op << " call " << c.nth);
    WorkingDir folder;
    ScriptedServer s(30s);
    for (unsigned i = 0; i < 3; ++i) s.AddScript(Serve(TestBytes(3000, i)));
    s.AddScript(CountedReply(" Saved"));
    FaultyFiles files(c.op, c.nth, c.error);
    HeadlessWindow window(KeyFor("1;noo;p;a.bin*b.bin*c.bin;"));
    const DownloadJobOptions options = OptionsFor(s, folder, &files);

    const auto worker = Run(window, options);
    EXPECT_EQ(worker->ReturnValue, c.result);
    EXPECT_EQ(worker->Failure(), c.cause);
    EXPECT_EQ(FolderEntries(folder), c.saved);
  }
}

// The file-size limit is POSIX's; the file fault tests fake a full disk on
// every platform.
#ifndef _WIN32
TEST_F(WorkerTest, FullDiskEndsTheJobWithoutAPartialFile) {
  // A file-size limit makes the disk "full" at 64 KiB; a body without a
  // length is written block by block until the server closes.
  server.AddScript(Script()
                       .ReadHead()
                       .Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
                       .SendRepeated("full", 256 * 1024)
                       .Close());
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  HeadlessWindow window(KeyFor("1;noo;p;big.bin;"));
  const auto worker = Run(window, OptionsFor(server, dir));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(worker->ReturnValue, 2);
  EXPECT_EQ(FolderEntries(dir), Names{});
}
#endif

TEST(SendStats, CountsAsStoredOnlyForTheExactReply) {
  for (const auto& [reply, stored] :
       std::vector<std::pair<std::string, bool>>{{" Saved", true},
                                                 {"Saved", false},
                                                 {" Saved\r\n", false},
                                                 {" saved", false},
                                                 {"", false}}) {
    ScriptedServer s;
    s.AddScript(CountedReply(reply));
    EXPECT_EQ(SendStats(KeyFor("1;;p;a;"), s.HostPort(), [] { return std::string("en"); }), stored)
        << reply;
  }
  ScriptedServer s;
  s.AddScript(Script().ReadHead().Send(
      "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 6\r\n\r\n Saved"));
  EXPECT_FALSE(SendStats(KeyFor("1;;p;a;"), s.HostPort(), [] { return std::string("en"); }));
}

}  // namespace
}  // namespace kalvoran
