// headless_job HOST DIR DESCRIPTOR: one download job as the window runs it,
// without a screen: the key for DESCRIPTOR, HOST for all three download
// servers and the statistics, the download folder below DIR, through the
// system's proxy if one is set. The exit status
// is the job's result code; 3 when it did not end within ten minutes.
// A job is one per process (the cancel flag is the program's), so many jobs
// at once are many processes.
#include <chrono>
#include <cstdio>
#include <exception>

#include "download_thread.h"
#include "job_test_support.h"

int main(int argc, char** argv) {
  using namespace kalvoran;
  if (argc != 4) {
    std::fputs("usage: headless_job HOST DIR DESCRIPTOR\n", stderr);
    return 64;
  }
  try {
    test::HeadlessWindow window(test::KeyFor(argv[3]));
    DownloadJobOptions options;
    options.Servers = {{argv[1], argv[1], argv[1]}, argv[1]};
    options.WorkingDirectory = argv[2];
    options.Proxies = SystemProxyRules();
    TDownloadThread worker(window, options);
    worker.Start();
    return worker.WaitFor(std::chrono::minutes(10)) ? worker.ReturnValue.load() : 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "headless_job: %s\n", e.what());
    return 65;
  }
}
