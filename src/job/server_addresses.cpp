#include "server_addresses.h"

#include "kalvoran_addresses.h"
#include "query_value.h"

namespace kalvoran {

ServerAddresses ServerAddresses::Fixed() {
  return ServerAddresses{
      {addresses::kDownloadServer0, addresses::kDownloadServer1, addresses::kDownloadServer2},
      addresses::kStatisticsHost};
}

std::string ServerRoot(const std::string& server) {
  return server.find("://") == std::string::npos ? "http://" + server : server;
}

std::string BaseAddress(const ServerAddresses& servers, std::int32_t serverIndex) {
  if (serverIndex < 0 || serverIndex > 2) return "";
  return ServerRoot(servers.DownloadServers[static_cast<std::size_t>(serverIndex)]) +
         "/DOWNLOADER/";
}

std::string DownloadAddress(const std::string& base, bool deleteFlag, const std::string& cesta,
                            const std::string& name) {
  return base + "DownloadStream1v1.php" + "?Reg=OK&Zmazat=" + (deleteFlag ? "true" : "false") +
         "&Cesta=" + QueryValue(cesta) + "&Subor=" + QueryValue(name);
}

std::string CleanerAddress(const std::string& base, const std::string& cesta,
                           const std::string& name) {
  return base + "DownloadCleaner1v1.php" + "?Reg=OK&Cesta=" + QueryValue(cesta) +
         "&Subor=" + QueryValue(name);
}

}  // namespace kalvoran
