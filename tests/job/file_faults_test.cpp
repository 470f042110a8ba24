// The worker's file side under failure: every file operation of a job is
// made to fail in turn, and each run must end as the job's rules say, leave
// no partial body under a final name, no "tmp.tmp" and no open descriptor.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "download_thread.h"
#include "job_test_support.h"
#include "open_descriptors.h"
#include "scripted_server.h"

namespace kalvoran {
namespace {

using namespace std::chrono_literals;
using test::CountedReply;
using test::FolderEntries;
using test::HeadlessWindow;
using test::KeyFor;
using test::OpenDescriptors;
using test::OptionsFor;
using test::ReadFile;
using test::Script;
using test::ScriptedServer;
using test::TestBytes;
using test::WorkingDir;
using test::WriteFile;

// The real file system, except that the nth counted operation (from 1)
// fails. Only the operations in `counted` are counted; the error of each is
// one that operation really meets.
class NthOperationFails final : public JobFiles {
 public:
  enum Op { kCreate = 1, kWrite = 2, kSetSize = 4, kClose = 8, kRename = 16 };
  NthOperationFails(int nth, int counted, std::map<Op, int> errors)
      : nth_(nth), counted_(counted), errors_(std::move(errors)) {}

  int CreateExclusive(int dirFd, const char* name, int& fd) override {
    return Fails(kCreate) ? errors_[kCreate] : Real().CreateExclusive(dirFd, name, fd);
  }
  int WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) override {
    return Fails(kWrite) ? errors_[kWrite] : Real().WriteAt(fd, offset, data, count);
  }
  int SetSize(int fd, std::int64_t size) override {
    return Fails(kSetSize) ? errors_[kSetSize] : Real().SetSize(fd, size);
  }
  int Close(int fd) override {
    const int result = Real().Close(fd);  // a failed close still releases the descriptor
    return Fails(kClose) ? errors_[kClose] : result;
  }
  int RenameNoReplace(int dirFd, const char* from, const char* to) override {
    return Fails(kRename) ? errors_[kRename] : Real().RenameNoReplace(dirFd, from, to);
  }

  bool Injected() const { return failedOp_ != 0; }
  int FailedOp() const { return failedOp_; }

 private:
  static JobFiles& Real() { return SystemJobFiles(); }
  bool Fails(Op op) {
    if ((counted_ & op) == 0 || ++calls_ != nth_) return false;
    failedOp_ = op;
    return true;
  }

  int nth_;
  int counted_;
  std::map<Op, int> errors_;
  int calls_ = 0;
  int failedOp_ = 0;
};

const std::map<NthOperationFails::Op, int> kNaturalErrors = {{NthOperationFails::kCreate, EACCES},
                                                             {NthOperationFails::kWrite, ENOSPC},
                                                             {NthOperationFails::kSetSize, EFBIG},
                                                             {NthOperationFails::kClose, EIO},
                                                             {NthOperationFails::kRename, EIO}};
constexpr int kAllOps = 31;

// One listed file: its name and what the server sends for it.
struct Listed {
  std::string name;
  std::string body;
  Script script;
};

Script Chunked(const std::string& body) {
  const std::size_t half = body.size() / 2;
  auto chunk = [](const std::string& bytes) -> std::string {
    if (bytes.empty()) return "";  // a size of 0 would end the body
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
    return size + bytes + "\r\n";
  };
  return Script()
      .ReadHead()
      .Send("HTTP/1.1 200 OK\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n" +
            chunk(body.substr(0, half)) + chunk(body.substr(half)) + "0\r\n\r\n")
      .Close();
}
Script UntilClose(const std::string& body) {
  return Script().ReadHead().Send("HTTP/1.1 200 OK\r\n\r\n" + body).Close();
}

struct Job {
  const char* what;
  std::string flag;  // key field 2: "noo" or a clean-up after every file
  std::vector<Listed> files;
  std::string runFile;
  // A file of the user's that stands in the folder before the job.
  std::string existingName;
};

struct Outcome {
  int result = -1;
  int failedOp = 0;
  std::vector<std::string> entries;
  std::map<std::string, std::string> contents;
  std::string runFile;
  int leakedDescriptors = 0;
};

const std::string kUsersOwn = "the user's own file";

Outcome RunJob(const Job& job, NthOperationFails& files) {
  const int before = OpenDescriptors();
  Outcome out;
  {
    WorkingDir dir;
    ScriptedServer server(30s);
    for (const Listed& f : job.files) {
      server.AddScript(f.script);
      if (job.flag != "noo") server.AddScript(CountedReply("OK"));
    }
    server.AddScript(CountedReply(" Saved"));
    if (!job.existingName.empty()) {
      std::filesystem::create_directories(dir.Folder());
      WriteFile(dir.Folder() + "/" + job.existingName, kUsersOwn);
    }
    std::string list;
    for (const Listed& f : job.files) list += (list.empty() ? "" : "*") + f.name;
    HeadlessWindow window(KeyFor("1;" + job.flag + ";p;" + list + ";" + job.runFile));
    {
      TDownloadThread worker(window, OptionsFor(server, dir, &files));
      worker.Start();
      EXPECT_TRUE(worker.WaitFor(20s));
      out.result = worker.ReturnValue;
      if (out.result == 0) out.runFile = worker.RunFile();
    }
    out.failedOp = files.FailedOp();
    out.entries = FolderEntries(dir);
    for (const std::string& name : out.entries) {
      out.contents[name] = ReadFile(dir.Folder() + "/" + name);
    }
  }
  out.leakedDescriptors = OpenDescriptors() - before;
  return out;
}

// Every saved file holds the whole body of a listed file of its base name,
// and the saved ones are the first files of the list, each once.
void ExpectOnlyWholeFiles(const Job& job, const Outcome& out, std::size_t expectedSaved) {
  std::set<std::size_t> saved;
  for (const auto& [name, content] : out.contents) {
    if (name == job.existingName) {
      EXPECT_EQ(content, kUsersOwn) << "the user's file was changed";
      continue;
    }
    EXPECT_NE(name, "tmp.tmp") << "the temporary file was left behind";
    bool matched = false;
    for (std::size_t i = 0; i < job.files.size() && !matched; ++i) {
      const std::string& listed = job.files[i].name;
      const bool nameFits =
          name == listed ||
          (name.size() > listed.size() + 1 && name.ends_with("_" + listed) &&
           name.find_first_not_of("0123456789") == name.size() - listed.size() - 1);
      if (nameFits && content == job.files[i].body && !saved.count(i)) {
        saved.insert(i);
        matched = true;
      }
    }
    EXPECT_TRUE(matched) << name << " holds " << content.size() << " bytes of no listed file";
  }
  std::set<std::size_t> firstFiles;
  for (std::size_t i = 0; i < saved.size(); ++i) firstFiles.insert(i);
  EXPECT_EQ(saved, firstFiles) << "a later file was saved after an earlier one failed";
  if (expectedSaved != std::string::npos) {
    EXPECT_EQ(saved.size(), expectedSaved);
  }
}

// The body RunFile must end on: that of the last listed copy of the name.
std::string LastBodyOf(const Job& job, const std::string& name) {
  std::string body;
  for (const Listed& f : job.files) {
    if (f.name == name) body = f.body;
  }
  return body;
}

std::vector<Job> Jobs() {
  const std::string big = TestBytes(70000, 1);  // several blocks: several writes
  return {
      {"one file with clean-up", "", {{"one.bin", TestBytes(3000, 0), {}}}, "", ""},
      {"several files, a clash and an existing name",
       "noo",
       {{"a.bin", big, {}},
        {"b.bin", TestBytes(5000, 2), {}},
        {"a.bin", TestBytes(4000, 3), {}},
        {"empty.bin", "", {}},
        {"c.bin", TestBytes(20000, 4), {}}},
       "a.bin",
       "b.bin"},
      {"several files with clean-up", "", {{"x.bin", "x", {}}, {"y.bin", "yy", {}}}, "y.bin", ""},
  };
}

// Gives every listed file of a job its script; bodies go out with a length,
// in chunks or until the close, in turn.
Job Scripted(Job job) {
  for (std::size_t i = 0; i < job.files.size(); ++i) {
    Listed& f = job.files[i];
    f.script = i % 3 == 0   ? CountedReply(f.body)
               : i % 3 == 1 ? Chunked(f.body)
                            : UntilClose(f.body);
  }
  return job;
}

TEST(FileFaults, EachFailingOperationEndsTheJobWithoutPartialFilesLeftoversOrLeaks) {
  int runs = 0;
  for (const Job& plain : Jobs()) {
    const Job job = Scripted(plain);
    SCOPED_TRACE(job.what);
    std::set<int> opsHit;
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(testing::Message() << "operation " << nth << " fails");
      NthOperationFails files(nth, kAllOps, kNaturalErrors);
      const Outcome out = RunJob(job, files);
      ++runs;
      EXPECT_EQ(out.leakedDescriptors, 0);
      if (!files.Injected()) {
        // The sweep is through: the same job untouched saves everything.
        EXPECT_EQ(out.result, 0);
        ExpectOnlyWholeFiles(job, out, job.files.size());
        if (!job.runFile.empty()) {
          EXPECT_TRUE(out.contents.at(out.runFile) == LastBodyOf(job, job.runFile)) << out.runFile;
        }
        break;
      }
      opsHit.insert(out.failedOp);
      EXPECT_EQ(out.result, 2) << "failed operation " << out.failedOp;
      ExpectOnlyWholeFiles(job, out, std::string::npos);
      ASSERT_LT(nth, 200) << "the job never stops meeting failures";
    }
    // Every kind of operation was met at least once.
    EXPECT_EQ(opsHit.size(), 5u);
  }
  RecordProperty("runs", runs);
}

TEST(FileFaults, ATakenNameMetAtAnyRenameMovesTheFileToTheNextPrefix) {
  // A rename refused because the name is taken (another program was quicker)
  // is not a failure: the file goes to the next free prefix.
  const Job job = Scripted(Jobs()[1]);
  for (int nth = 1;; ++nth) {
    SCOPED_TRACE(testing::Message() << "rename " << nth << " meets a taken name");
    NthOperationFails files(nth, NthOperationFails::kRename,
                            {{NthOperationFails::kRename, EEXIST}});
    const Outcome out = RunJob(job, files);
    EXPECT_EQ(out.leakedDescriptors, 0);
    EXPECT_EQ(out.result, 0);
    ExpectOnlyWholeFiles(job, out, job.files.size());
    // RunFile follows the last saved copy of "a.bin", but once the first copy
    // got a prefix the corrected name no longer matches the second one.
    ASSERT_TRUE(out.contents.count(out.runFile)) << out.runFile;
    const bool firstCopyMoved = files.Injected() && nth == 1;
    EXPECT_TRUE(out.contents.at(out.runFile) == job.files[firstCopyMoved ? 0 : 2].body)
        << out.runFile;
    if (!files.Injected()) break;
    ASSERT_LT(nth, 50);
  }
}

}  // namespace
}  // namespace kalvoran
