#pragma once
// The statistics report sent after a successful job: when and on which
// computer a key was used, its descriptor text and the program's version,
// filed on the server under the hour of the report.
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "http_client.h"
#include "request_aborter.h"

namespace kalvoran {

// "dd.mm.yyyy hh:mm:ss" of a local time, 24-hour clock.
std::string FormatRecordTime(const std::tm& local);
// "yyyymmddhh" of a local time.
std::string FormatHourStamp(const std::tm& local);
// The hour stamp of the local time now.
std::string HourStamp();

// time + "*" + mac + "*" + descriptor + "*" + "2.0" + "*".
std::string StatsRecord(const std::tm& local, std::string_view mac, std::string_view descriptor);
// The record for a key, with the local time now, GetMacAddress and the key's
// descriptor text.
std::string getStats(std::string_view downloadKey);

// "http://" + host (or the host's own protocol) +
// "/DOWNLOADER/DownloaderStats1v1.php?Reg=OK&Jazyk=" + lang + "&Subor=" +
// hourStamp + ".txt&Text=" + the record as a query value.
std::string StatisticsAddress(const std::string& statisticsHost, const std::string& langCode,
                              const std::string& hourStamp, const std::string& record);

// Sends the record of the key to the statistics host with a client of its
// own and no transfer handlers. True only when the answer is exactly
// " Saved"; every failure gives false and is otherwise swallowed. langCode is
// read once, when the address is built; the hour stamp is read after the
// record's time, so a record made at hh:59:59 may be filed under the next hour.
// An aborter, when given, can cut the request short from another thread.
// setUp, when given, sets the client up (time-outs, trusted certificates).
bool SendStats(std::string_view downloadKey, const std::string& statisticsHost,
               const std::function<std::string()>& langCode, RequestAborter* aborter = nullptr,
               const std::function<void(HttpClient&)>& setUp = {});

}  // namespace kalvoran
