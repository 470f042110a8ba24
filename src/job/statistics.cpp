#include "statistics.h"

#include <cstdio>

#include "funkcie.h"
#include "http_client.h"
#include "mac_address.h"
#include "query_value.h"
#include "server_addresses.h"

namespace kalvoran {
namespace {

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

}  // namespace

std::string FormatRecordTime(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d.%02d.%d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string FormatHourStamp(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour);
  return text;
}

std::string HourStamp() {
  return FormatHourStamp(LocalNow());
}

std::string StatsRecord(const std::tm& local, std::string_view mac, std::string_view descriptor) {
  std::string record = FormatRecordTime(local);
  record += '*';
  record += mac;
  record += '*';
  record += descriptor;
  record += "*2.0*";
  return record;
}

std::string getStats(std::string_view downloadKey) {
  const std::tm now = LocalNow();
  const std::string mac = GetMacAddress();
  return StatsRecord(now, mac, UnscrambleKey(downloadKey));
}

std::string StatisticsAddress(const std::string& statisticsHost, const std::string& langCode,
                              const std::string& hourStamp, const std::string& record) {
  return ServerRoot(statisticsHost) +
         "/DOWNLOADER/DownloaderStats1v1.php?Reg=OK&Jazyk=" + langCode + "&Subor=" + hourStamp +
         ".txt&Text=" + QueryValue(record);
}

bool SendStats(std::string_view downloadKey, const std::string& statisticsHost,
               const std::function<std::string()>& langCode, RequestAborter* aborter,
               const std::function<void(HttpClient&)>& setUp) {
  bool result = false;
  try {
    const std::string record = getStats(downloadKey);
    HttpClient client;
    if (setUp) setUp(client);
    const AbortableRequest request(aborter, client);
    if (!request.Allowed()) return false;
    const std::string address = StatisticsAddress(statisticsHost, langCode(), HourStamp(), record);
    const std::string body = client.Get(address, kShortReplyLimit);
    result = body == " Saved";
    client.Disconnect();
  } catch (...) {
    // A report that cannot be sent is simply lost.
  }
  return result;
}

}  // namespace kalvoran
