# What every package of this build says about who issues it: the Debian
# packages (PackageDebian.cmake) and the Windows installer and zips
# (PackageWindows.cmake). The servers come from Hosts.cmake.
set(KALVORAN_PACKAGE_VENDOR "Kalvoran" CACHE STRING "Who issues the package and its keys")
set(KALVORAN_PACKAGE_MAINTAINER "Kalvoran <support@kalvoran.com>" CACHE STRING
    "Maintainer of the package: name and e-mail address")
set(KALVORAN_PACKAGE_HOMEPAGE "http://${KALVORAN_HOMEPAGE_EN}/" CACHE STRING
    "Homepage named by the package and its AppStream description")

# The release date is the day of configuring, or SOURCE_DATE_EPOCH's.
string(TIMESTAMP KALVORAN_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP KALVORAN_RELEASE_YEAR "%Y" UTC)
string(TIMESTAMP KALVORAN_RELEASE_DATE_RFC2822 "%a, %d %b %Y 00:00:00 +0000" UTC)
