# The fixed addresses of the program. Nothing reads them at run time: they are
# compiled in, so a demo or a test build points the downloader elsewhere by
# setting these cache variables. A host may carry ":port"; a download server
# may also name its protocol ("https://host[:port]") to be fetched over TLS.
set(KALVORAN_DOWNLOAD_SERVER_0 "download.kalvoran.com" CACHE STRING "Download server 0")
set(KALVORAN_DOWNLOAD_SERVER_1 "www.kalvoran.sk" CACHE STRING "Download server 1, also the statistics host")
set(KALVORAN_DOWNLOAD_SERVER_2 "download.kalvoran.de" CACHE STRING "Download server 2")
set(KALVORAN_HOMEPAGE_SK "www.kalvoran.sk" CACHE STRING "Slovak homepage host")
set(KALVORAN_HOMEPAGE_CZ "www.kalvoran.cz" CACHE STRING "Czech homepage host")
set(KALVORAN_HOMEPAGE_EN "www.kalvoran.com" CACHE STRING "English homepage host")
set(KALVORAN_HOMEPAGE_DE "www.kalvoran.de" CACHE STRING "German homepage host")
