// kalvoran_bench [--cacert FILE] URL FILE: one Get into a file stream with an
// OnWork handler attached, as a download job does it; --cacert trusts the
// certificates in FILE for an https URL. Exit status 0 when the body arrived
// whole, 1 otherwise.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "file_stream.h"
#include "http_client.h"

int main(int argc, char** argv) {
  std::string caFile;
  if (argc == 5 && std::strcmp(argv[1], "--cacert") == 0) {
    caFile = argv[2];
    argv += 2;
    argc -= 2;
  }
  if (argc != 3) {
    std::fputs("usage: kalvoran_bench [--cacert FILE] URL FILE\n", stderr);
    return 2;
  }
  using namespace kalvoran;
  try {
    HttpClient client;
    client.CaFile = caFile;
    std::int64_t expected = 0, received = 0, events = 0;
    client.OnWorkBegin = [&](HttpClient&, TWorkMode, std::int64_t n) { expected = n; };
    client.OnWork = [&](HttpClient&, TWorkMode, std::int64_t n) {
      received = n;
      ++events;
    };
    FileStream file(argv[2], FileStream::OpenMode::kCreateOrTruncate);
    client.Get(argv[1], file);
    file.Close();
    if (received != expected) {
      std::fprintf(stderr, "short body: %lld of %lld bytes\n", static_cast<long long>(received),
                   static_cast<long long>(expected));
      return 1;
    }
    std::fprintf(stderr, "%lld bytes, %lld work events\n", static_cast<long long>(received),
                 static_cast<long long>(events));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
