#pragma once
// The hosts a job talks to. Production always uses the fixed, compiled-in
// addresses; a test hands the worker its own table to reach a local server.
#include <array>
#include <cstdint>
#include <string>

namespace kalvoran {

struct ServerAddresses {
  // "host" or "host:port", for plain HTTP, or with a protocol in front
  // ("https://host[:port]") for TLS.
  std::array<std::string, 3> DownloadServers;
  std::string StatisticsHost;  // the same forms; download server 1 in the program

  // kalvoran::addresses: the three download servers and the statistics host.
  static ServerAddresses Fixed();
};

// "http://" + server + "/DOWNLOADER/" for the indices 0, 1 and 2 (a server
// that names its protocol keeps it); the empty text for any other index (the
// request then fails).
std::string BaseAddress(const ServerAddresses& servers, std::int32_t serverIndex);
// The server with "http://" in front unless it names a protocol of its own.
std::string ServerRoot(const std::string& server);

// base + "DownloadStream1v1.php?Reg=OK&Zmazat=" + "true"/"false" + "&Cesta=" +
// cesta + "&Subor=" + the listed name, both as query values (QueryValue): the
// script reads back exactly the folder and name of the key.
std::string DownloadAddress(const std::string& base, bool deleteFlag, const std::string& cesta,
                            const std::string& name);
// base + "DownloadCleaner1v1.php?Reg=OK&Cesta=" + cesta + "&Subor=" + name, as
// query values.
std::string CleanerAddress(const std::string& base, const std::string& cesta,
                           const std::string& name);

}  // namespace kalvoran
