#pragma once
// The file operations of a download job, gathered behind one small interface
// so that a test can make any of them fail (a full disk, a folder that went
// away, a rename the file system refuses) without touching the real disk.
//
// Every operation reports 0 on success or an errno value; none throws.
// Names are UTF-8, relative to an open folder descriptor (on Windows a C
// runtime descriptor over the folder's handle; the names go to the wide API).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kalvoran {

class JobFiles {
 public:
  virtual ~JobFiles() = default;

  // Creates a new, empty file for writing; fails with EEXIST when anything
  // stands at the name (a symbolic link is never followed).
  virtual int CreateExclusive(int dirFd, const char* name, int& fd) = 0;
  // Writes all count bytes at offset; a short write is an error (ENOSPC).
  virtual int WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) = 0;
  virtual int SetSize(int fd, std::int64_t size) = 0;
  // Releases the descriptor also when it reports an error.
  virtual int Close(int fd) = 0;
  // Renames within the directory, but never over anything: EEXIST when the
  // target name is taken by a file, a folder, a link or anything else.
  virtual int RenameNoReplace(int dirFd, const char* from, const char* to) = 0;
};

// The real file system.
JobFiles& SystemJobFiles();

// The folder `name` under workingDirectory (UTF-8), created when missing, as
// an open folder descriptor; when it cannot be opened, minus the errno value
// of why (that of the creation when the folder could not be made).
int OpenJobFolder(const std::string& workingDirectory, const char* name);
void CloseJobFolder(int dirFd);
// Removes the file, link or empty folder at the name; a link goes, never
// what it points to. Failures are ignored.
void RemoveJobEntry(int dirFd, const char* name);

// Takes the folder for one job: an exclusive lock on the file `name` in it,
// made when missing. The system drops the lock when the process ends, however
// it ends, so a job that died never keeps the folder. Returns 0 with the
// lock's descriptor in lockFd, EAGAIN when another job (of any process, this
// one included) holds the folder, or another errno value.
int LockJobFolder(int dirFd, const char* name, int& lockFd);
// Lets the folder go and takes the lock file away.
void UnlockJobFolder(int dirFd, const char* name, int lockFd);

}  // namespace kalvoran
