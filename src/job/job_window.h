#pragma once
// What the download worker needs from the main window. The window implements
// this interface; tests implement it headless.
//
// Threads: every callback below is called on the WORKER's thread. None may
// wait for the user-interface thread, because that thread may at the same
// moment be destroying the worker and joining its thread (a job replaced or
// the program closing): hand work over to the user-interface thread with a
// queued call, and answer reads from values the window keeps ready.
//
// Lifetime: the window must outlive every TDownloadThread that uses it
// (destroy the current worker before the window itself).
#include <cstdint>
#include <string>

#include "http_client.h"
#include "work_mode.h"

namespace kalvoran {

class JobWindow {
 public:
  virtual ~JobWindow() = default;

  // Line 1 of the key field as Windows-1250 text, without its line end.
  // Called once, at the start of the job; the key field is disabled for the
  // whole job, so the window may simply return the line it captured when
  // DOWNLOAD was pressed. The worker itself cuts the text at the first line
  // end and after 4,096 characters, so returning more does no harm.
  virtual std::string KeyLine() = 0;

  // Starts the 500 ms job timer. Called once, early in the job; post it to
  // the user-interface thread and return at once.
  virtual void StartJobTimer() = 0;

  // The file count N of the job, which Stahovanie divides the bar by. Set
  // before the first file, and to 1 when the job was cancelled. Only the
  // worker's thread writes and reads it (from the transfer handlers).
  virtual void SetFileCount(int n) = 0;

  // The transfer events of the job client, inside its Get. `sender` is the
  // job client: sender.Tag is the index i (from 0) of the file being fetched,
  // sender.Response().ContentType the content type of the answer, and
  // sender.Response().ContentStream the stream receiving the body, whose
  // Size() is the announced length. ZaciatokStahovania must begin with
  // RefuseErrorResponse(sender) (below) and leave the bar alone when it
  // returns true. Changes on screen go to the user-interface thread queued.
  // An exception thrown here fails the running file (result 2).
  // A file whose connection broke goes on where it broke: the answer with
  // the rest fires no ZaciatokStahovania, and its Stahovanie counts run on
  // from the bytes the file held (the stream's size is the whole file's), so
  // the bar never goes back. Only a server that sends the whole file again
  // starts it with a ZaciatokStahovania of its own.
  virtual void ZaciatokStahovania(HttpClient& sender, TWorkMode mode, std::int64_t expected) = 0;
  virtual void Stahovanie(HttpClient& sender, TWorkMode mode, std::int64_t countSoFar) = 0;
  virtual void KoniecStahovania(HttpClient& sender, TWorkMode mode) = 0;

  // The current interface language code ("sk", "cz", "en" or "de"), read once
  // for the statistics report. It must come back whole while the user
  // changes the language meanwhile: keep it under a lock or in an atomic slot.
  virtual std::string LangCode() = 0;
};

// The refusal check of the work-begin handler: when the server answered with
// the content type "error" (exactly, case-sensitively), disconnects the job
// client, so that the body read ends at once, sets CancelFlag and returns
// true. The worker then treats the file as a failed transfer. Otherwise
// returns false and changes nothing.
bool RefuseErrorResponse(HttpClient& sender);
// Whether the client's last answer is such a refusal (content type "error").
bool IsErrorResponse(const HttpClient& client);

}  // namespace kalvoran
