#pragma once
// The folder "Kalvoran Downloader" under the working directory: its temporary
// file "tmp.tmp" and the final names of the saved files. File names are
// Windows-1250 text from the key; on disk they are UTF-8 (UTF-16 on Windows).
//
// One job at a time per folder, whichever process runs it: all jobs share the
// one "tmp.tmp", so a job holds the folder (a lock on "job.lck" in it) from
// Open until Release, and only a job that holds it changes anything there.
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "job_files.h"
#include "temp_file_stream.h"

namespace kalvoran {

inline constexpr const char* kDownloadFolderName = "Kalvoran Downloader";
inline constexpr const char* kTempFileName = "tmp.tmp";
inline constexpr const char* kLockFileName = "job.lck";

// Whether the name is one of the job's own files ("tmp.tmp", "job.lck"),
// which a saved file must never take; on Windows in any letter case, as the
// file system there does not tell "TMP.TMP" from "tmp.tmp".
bool IsJobFileName(std::string_view name);

// Whether a listed name stays a plain file in the folder: no separator of any
// platform ("/", "\\"), no drive or stream marker (":"), no NUL, not "." or
// "..", not empty. Keys are the same everywhere, so this part of the rule is
// too; on Windows a name that IsRefusedOnWindows holds for is refused as well.
bool IsPlainFileName(std::string_view cp1250Name);

// Whether Windows would not keep the name as that of a plain file: a device
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9, LPT1 to LPT9, in any
// case, also with an extension as in "CON.txt"), a name ending in a dot or a
// blank (which Windows drops), or one with a character Windows refuses in
// names (the controls below 0x20 and < > " | ? *).
bool IsRefusedOnWindows(std::string_view cp1250Name);

class DownloadFolder {
 public:
  explicit DownloadFolder(JobFiles& files) : files_(files) {}
  ~DownloadFolder();
  DownloadFolder(const DownloadFolder&) = delete;
  DownloadFolder& operator=(const DownloadFolder&) = delete;

  // Creates the folder under workingDirectory when it is missing and takes it
  // for this job. False when another job holds it; any other failure shows
  // later, when the temporary file cannot be created, with its errno value.
  bool Open(const std::string& workingDirectory);
  // Lets the folder go; nothing in it is touched afterwards.
  void Release();

  // Removes whatever stands at "tmp.tmp" and creates it anew, exclusively.
  // Raises EStreamError when that fails.
  std::unique_ptr<TempFileStream> CreateTemp();

  // Gives "tmp.tmp" the name, or the first of 1_name, 2_name, ... that is
  // free; the job's own file names count as taken. Returns the prefix used ("" or "<c>_"), or
  // nothing when the rename fails for another reason than a taken name (the file keeps "tmp.tmp");
  // then *error, when given, is the errno value of that failure.
  std::optional<std::string> SaveTempAs(std::string_view cp1250Name, int* error = nullptr);

  // Deletes "tmp.tmp" if it exists and the folder is held; failures are
  // ignored. Safe from any thread.
  void RemoveTemp();

 private:
  JobFiles& files_;
  // Guards the descriptors against a RemoveTemp from another thread; the
  // rest runs on the job's thread only.
  std::mutex mutex_;
  int dirFd_ = -1;  // -1 unless the folder is held
  int lockFd_ = -1;
  int openError_ = ENOENT;  // why the folder is not held, for CreateTemp to tell
};

}  // namespace kalvoran
