#pragma once
// Fixed texts of the window that no language changes.

namespace kalvoran {

// The application title, the window caption and the task bar text at rest.
inline constexpr const char* kApplicationTitle = "Kalvoran Downloader";
inline constexpr const char* kVersionLabel = "v 2.0";
inline constexpr const char* kProductLabel = "DOWNLOADER";
// Downloads land here, relative to the working directory.
inline constexpr const char* kDownloadFolder = "Kalvoran Downloader";

}  // namespace kalvoran
