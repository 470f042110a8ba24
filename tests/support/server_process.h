#pragma once
// A real server program (nginx, php -S, ...) run by a test on a free loopback
// port, and stopped by the test or at the latest when the object goes.
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kalvoran::test {

// A port of 127.0.0.1 that was free a moment ago; 0 when none could be had.
int FreeLoopbackPort();
// Whether something accepts connections on 127.0.0.1:port.
bool AcceptsOnLoopback(int port);
// Copies the scripts of serverDir (server/) into dir, beside the folders a test
// makes there: the layout in which serving the whole folder would give all away.
void CopyServerScripts(const std::string& serverDir, const std::string& dir);

class ServerProcess {
 public:
  struct Options {
    // The program's arguments, its path first, to listen on 127.0.0.1:port;
    // may also write what the program reads at its start.
    std::function<std::vector<std::string>(int port)> arguments;
    std::vector<std::string> environment;  // added to this process's
    std::string logPath;                   // its stdout and stderr go here; "" keeps ours
    int stopSignal = SIGTERM;              // the signal that ends it cleanly
    int attempts = 3;
    std::chrono::milliseconds startLimit = std::chrono::seconds(10);
  };

  // Starts the program and waits until it accepts connections. A free port
  // is not reserved: when the program exits (another process took the port)
  // or never accepts, the next attempt takes another port.
  explicit ServerProcess(Options options);
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  // Sends the stop signal and waits for the end; kills after three seconds.
  // Idempotent.
  void Stop();

 private:
  bool Start();
  Options options_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace kalvoran::test
