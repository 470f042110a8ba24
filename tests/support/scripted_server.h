#pragma once
// A loopback TCP server for tests that plays a script per accepted connection.
//
// It listens on 127.0.0.1 with a port of the system's choice, accepts on its
// own thread and runs each connection's script on a thread of its own. Every
// byte a connection receives is recorded. The server stops by itself once its
// lifetime has passed (10 s unless told otherwise) and when it is destroyed;
// either way every thread is joined and every descriptor closed.
//
// Connection i (counted from 0 in accept order) plays the i-th script added;
// a connection without a script is closed at once. A script that runs to its
// end closes the connection gracefully (FIN), unless its last step was
// Reset(). A step that fails because the client went away, or because the
// server stops, ends the script early.
//
// Example:
//   test::ScriptedServer server;
//   server.AddScript(test::Script()
//                        .ReadHead()
//                        .Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n")
//                        .SendBytewise("hello")
//                        .Close());
//   ... connect to 127.0.0.1:server.Port() and talk ...
//   server.WaitForFinished(1);
//   EXPECT_EQ(server.Received(0).substr(0, 4), "GET ");
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kalvoran::test {

class Script {
 public:
  // Reads until the received bytes hold CR LF CR LF; bytes after it stay
  // for the next read step.
  Script& ReadHead();
  // Reads exactly count bytes.
  Script& Read(std::size_t count);
  // Sends the bytes (as few packets as the system makes of them).
  Script& Send(std::string bytes);
  // Reads a request head and answers it from `body` as a server of ranges:
  // "Range: bytes=N-" gives a 206 from N (a 200 when an If-Range names
  // nothing in `headers`), else a 200; `headers` (lines with CR LF) go into
  // the head. Only `count` bytes of the body part go out.
  Script& ServeRange(std::string body, std::string headers, std::size_t count = SIZE_MAX);
  // Sends one byte per packet: Nagle off and a short pause after each byte.
  Script& SendBytewise(std::string bytes);
  // Sends the pattern over and over, totalBytes in all; 0 = until the client
  // stops taking them (closes or resets) or the server stops.
  Script& SendRepeated(std::string pattern, std::size_t totalBytes);
  Script& Pause(int milliseconds);
  // Graceful close: FIN after everything sent; the script ends here.
  Script& Close();
  // Abortive close: RST (SO_LINGER with 0 s); the script ends here.
  Script& Reset();
  // Reads (and records) until the client closes or resets its end.
  Script& WaitForClientClose();
  // Counts one signal that a test can wait for (WaitForSignals).
  Script& Signal();
  // Waits until the test calls Release() once for this step.
  Script& WaitForRelease();
  // Appends the steps of another script.
  Script& Then(const Script& more);

  struct Step {
    enum Kind {
      kReadHead,
      kRead,
      kSend,
      kSendBytewise,
      kSendRepeated,
      kPause,
      kClose,
      kReset,
      kWaitForClientClose,
      kSignal,
      kWaitForRelease,
      kServeRange
    };
    Kind kind;
    std::string bytes;
    std::size_t count = 0;
    std::string headers{};  // ServeRange only
  };
  const std::vector<Step>& Steps() const { return steps_; }

 private:
  Script& Add(Step step);
  std::vector<Step> steps_;
};

// How a played script ended (ScriptedConnections::Play).
struct ScriptOutcome {
  bool ok = true;      // no step failed
  bool reset = false;  // the script ends with a reset
};

// Whether a Reset() reaches the client as a reset. Wine (which runs the
// Windows build's tests) hands its programs a reset as an orderly close, so
// there the tests of a peer's reset are skipped; Windows and Linux report it.
bool ResetsReachTheClient();

// What a scripted server keeps of its connections, shared by the plain and
// the TLS server: the scripts to play, what each connection received, how
// many came and finished, and the signals and releases of their scripts.
// Thread-safe.
class ScriptedConnections {
 public:
  int AcceptedConnections() const;
  // Connections whose script has ended and whose socket is closed.
  int FinishedConnections() const;
  // Everything connection i has received so far ("" for an unknown i).
  std::string Received(int connection) const;
  int Signals() const;

  // Each of these waits at most `limit` and tells whether the state came.
  bool WaitForConnections(int count, std::chrono::milliseconds limit = std::chrono::seconds(10));
  bool WaitForFinished(int count, std::chrono::milliseconds limit = std::chrono::seconds(10));
  bool WaitForSignals(int count, std::chrono::milliseconds limit = std::chrono::seconds(10));

  // Lets one waiting WaitForRelease step (or the next one to come) go on.
  void Release();

 protected:
  struct Entry {
    Script script;
    bool closeNotify = true;  // TLS only: a Close sends close-notify first
  };
  void AddEntry(Entry entry);
  // The entry of connection i; an empty script for a connection without one.
  Entry EntryFor(int index) const;
  int NoteAccepted();  // the new connection's index
  void NoteReceived(int index, const char* data, std::size_t size);
  void NoteFinished();
  // Wakes every waiting test and script: the server stops.
  void NoteStopping();
  bool Stopping() const;
  // Plays a script with the connection's own receive, send, pause and Nagle
  // switch; signals, releases and the stop are this bookkeeping's.
  ScriptOutcome Play(const Script& script, std::string& pending, std::function<bool()> receive,
                     std::function<bool(const char*, std::size_t)> send,
                     std::function<bool(int)> pause, std::function<void()> noDelay);

 private:
  bool WaitFor(std::chrono::milliseconds limit, const std::function<bool()>& done);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<Entry> scripts_;
  std::vector<std::string> received_;
  int accepted_ = 0;
  int finished_ = 0;
  int signals_ = 0;
  int releases_ = 0;
};

class ScriptedServer : public ScriptedConnections {
 public:
  // Starts listening at once, on `port` or one of the system's choice;
  // throws std::runtime_error when it cannot.
  explicit ScriptedServer(std::chrono::milliseconds lifetime = std::chrono::seconds(10),
                          int port = 0);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:port", as a host field of a request or a server list.
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  // "http://127.0.0.1:port" followed by the path.
  std::string Url(const std::string& path = "") const { return "http://" + HostPort() + path; }
  // Scripts for the next connections, in accept order; add them before the
  // client connects.
  void AddScript(Script script);

  // Ends all scripts, closes every socket and joins the threads. Idempotent.
  void Stop();

 private:
  // A socket: a descriptor, or a Winsock SOCKET (-1 stands for none on both).
  using SocketId = std::intptr_t;

  void AcceptLoop();
  void Serve(int index, SocketId fd);
  // Makes wakeRead_ readable for good, which ends every wait of the server.
  void Wake();

  SocketId listenFd_ = -1;
  SocketId wakeRead_ = -1;   // readable once Wake() wrote to wakeWrite_
  SocketId wakeWrite_ = -1;  // on Windows a datagram socket that sends to itself
  int port_ = 0;
  std::chrono::steady_clock::time_point deadline_;

  std::vector<std::thread> workers_;  // touched only by the accept thread and Stop()
  std::thread acceptThread_;
  std::once_flag stopOnce_;
};

}  // namespace kalvoran::test
