// kalvoran-get: fetches addresses with the downloader's HTTP client, for
// trying servers out and for measuring the client. All addresses go through
// one client in turn, as the files of a download job do, so a kept
// connection and cookies carry over from one to the next.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "errors.h"
#include "file_stream.h"
#include "http_client.h"
#include "resuming_get.h"
#include "tool_arguments.h"
#include "uri.h"

namespace {

using namespace kalvoran;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: kalvoran-get [-v] [-O DIR] [--cacert FILE] [--timeout SECONDS]\n"
      "                    [--retries N] [--noproxy] URL...\n"
      "       kalvoran-get --version\n"
      "\n"
      "Fetches each URL in turn on one client. Body n (n = 1, 2, ...) goes to\n"
      "DIR/n.body, or without -O to standard output.\n"
      "  -v      report to standard error, one item per line:\n"
      "            proxy <host:port> | proxy none          before each URL\n"
      "            status <code> <status line>           after each response head\n"
      "            begin <mode> <expected> size=<size>  transfer events, with the\n"
      "            work <mode> <count> size=<size>      size of the body's target\n"
      "            end <mode>\n"
      "            pause <ms>                           before another try\n"
      "  -O DIR  write the bodies into DIR\n"
      "  --cacert FILE  trust the certificates in FILE (PEM) for https:// URLs\n"
      "                 instead of the system's trust store\n"
      "  --timeout SECONDS  give up on a server silent this long, connecting or\n"
      "                 sending (default 30; 0 = wait without limit)\n"
      "  --retries N    a body that breaks off after its head is asked for again\n"
      "                 from where it broke (Range), up to N tries in a row that\n"
      "                 bring nothing, 1, 2, 4, 8 s apart (default 5; 0 = never).\n"
      "                 Standard output cannot start a body over: a server that\n"
      "                 sends the whole body again fails there.\n"
      "  --noproxy      connect directly, whatever the proxy variables say\n"
      "\n"
      "Proxies: http_proxy for http:// URLs, https_proxy (or HTTPS_PROXY) for\n"
      "https:// URLs, else all_proxy (or ALL_PROXY), written\n"
      "[http://][user[:password]@]host[:port]; no_proxy (or NO_PROXY) lists the\n"
      "hosts, domains and networks reached directly, \"*\" for all. Loopback\n"
      "addresses go directly unless no_proxy lists <-loopback>. On Windows the\n"
      "user's proxy settings count when no variable is set.\n"
      "\n"
      "On the first failure it prints \"error <kind>: <message>\" to standard\n"
      "error (CR and LF written as \\r and \\n) and stops.\n"
      "Exit status: 0 all fetched; 1 a fetch failed (a body cut short of its\n"
      "Content-Length included); 2 a usage error.\n",
      out);
}

const char* ModeName(TWorkMode mode) {
  return mode == wmRead ? "wmRead" : "wmWrite";
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Standard output as a body target. It cannot be sized or rewound; it only
// remembers the size the client asks for, so that the events report it.
class StdoutStream final : public Stream {
 public:
  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override {
    if (position != position_) throw EStreamError("Standard output cannot start the body over");
  }
  std::int64_t Size() const override { return size_ > position_ ? size_ : position_; }
  void SetSize(std::int64_t size) override { size_ = size; }
  void Write(const char* data, std::size_t count) override {
    if (std::fwrite(data, 1, count, stdout) != count) {
      throw EStreamError("Cannot write to standard output");
    }
    position_ += static_cast<std::int64_t>(count);
  }

 private:
  std::int64_t position_ = 0;
  std::int64_t size_ = 0;
};

long long TargetSize(const HttpClient& client) {
  const Stream* s = client.Response().ContentStream;
  return s ? static_cast<long long>(s->Size()) : -1;
}

// A whole number of at most `limit`; nothing for anything else.
std::optional<int> Count(std::string_view text, int limit) {
  int value = 0;
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return value;
}

void Report(const char* kind, const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "error %s: %s\n", kind, Escaped(message).c_str());
}

void ReportProxy(const ProxyRules& rules, const std::string& url) {
  const Uri address = SplitAddress(url);
  const std::optional<ProxyServer> proxy =
      rules.For(address.Protocol.empty() ? "http" : address.Protocol, address.Host);
  std::fprintf(stderr, "proxy %s\n", proxy ? proxy->Name().c_str() : "none");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = tools::Utf8Arguments(argc, argv);
  const std::size_t argCount = args.size();
  bool verbose = false;
  std::string dir;
  std::string caFile;
  int timeoutSeconds = 30;
  int retries = ResumePolicy{}.Tries;
  bool useProxy = true;
  std::vector<std::string> urls;
  for (std::size_t i = 1; i < argCount; ++i) {
    const std::string_view arg = args[i];
    if (urls.empty() && arg == "-v") {
      verbose = true;
    } else if (urls.empty() && arg == "-O") {
      if (++i == argCount) {
        PrintUsage(stderr);
        return kUsage;
      }
      dir = args[i];
    } else if (urls.empty() && arg == "--cacert") {
      if (++i == argCount) {
        PrintUsage(stderr);
        return kUsage;
      }
      caFile = args[i];
    } else if (urls.empty() && (arg == "--timeout" || arg == "--retries")) {
      const std::optional<int> value =
          i + 1 < argCount ? Count(args[i + 1], arg == "--timeout" ? 2000000 : 1000) : std::nullopt;
      if (!value) {
        std::fprintf(stderr, "kalvoran-get: %s needs a whole number\n", args[i].c_str());
        PrintUsage(stderr);
        return kUsage;
      }
      (arg == "--timeout" ? timeoutSeconds : retries) = *value;
      ++i;
    } else if (urls.empty() && arg == "--noproxy") {
      useProxy = false;
    } else if (urls.empty() && (arg == "-h" || arg == "--help")) {
      PrintUsage(stdout);
      return kOk;
    } else if (urls.empty() && arg == "--version") {
      std::puts("kalvoran-get " KALVORAN_VERSION);
      return kOk;
    } else if (urls.empty() && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "kalvoran-get: unknown option %s\n", args[i].c_str());
      PrintUsage(stderr);
      return kUsage;
    } else {
      urls.emplace_back(arg);
    }
  }
  if (urls.empty()) {
    PrintUsage(stderr);
    return kUsage;
  }

  HttpClient client;
  client.CaFile = caFile;
  client.ReadTimeout = timeoutSeconds * 1000;
  client.ConnectTimeout = timeoutSeconds * 1000;
  if (useProxy) client.Proxies = SystemProxyRules();
  ResumePolicy policy;
  policy.Tries = retries;
  if (verbose) {
    policy.Pause = [](std::chrono::milliseconds time) {
      std::fprintf(stderr, "pause %lld\n", static_cast<long long>(time.count()));
      std::this_thread::sleep_for(time);
      return true;
    };
  }
  ResumingGet download(client, std::move(policy));
  if (verbose) {
    client.OnResponseHead = [](HttpClient& c) {
      std::fprintf(stderr, "status %d %s\n", c.Response().ResponseCode,
                   Escaped(c.Response().ResponseText).c_str());
    };
    client.OnWorkBegin = [](HttpClient& c, TWorkMode mode, std::int64_t expected) {
      std::fprintf(stderr, "begin %s %lld size=%lld\n", ModeName(mode),
                   static_cast<long long>(expected), TargetSize(c));
    };
    client.OnWork = [](HttpClient& c, TWorkMode mode, std::int64_t count) {
      std::fprintf(stderr, "work %s %lld size=%lld\n", ModeName(mode),
                   static_cast<long long>(count), TargetSize(c));
    };
    client.OnWorkEnd = [](HttpClient&, TWorkMode mode) {
      std::fprintf(stderr, "end %s\n", ModeName(mode));
    };
  }

  try {
    for (std::size_t n = 0; n < urls.size(); ++n) {
      if (verbose) ReportProxy(client.Proxies, urls[n]);
      // A body that ends short of its length fails here (EConnClosedGracefully).
      if (dir.empty()) {
        StdoutStream out;
        download.Get(urls[n], out);
      } else {
        FileStream file(dir + "/" + std::to_string(n + 1) + ".body",
                        FileStream::OpenMode::kCreateOrTruncate);
        download.Get(urls[n], file);
        file.Close();
      }
    }
  } catch (const HttpError& e) {
    Report(e.Kind(), e.what());
    return kFailed;
  } catch (const std::exception& e) {
    Report("Exception", e.what());
    return kFailed;
  }
  if (std::fflush(stdout) != 0) {
    Report("EStreamError", "Cannot write to standard output");
    return kFailed;
  }
  return kOk;
}
