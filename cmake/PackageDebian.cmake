# The Debian packages made by CPack from this build:
# `cmake --build <build> --target package` (or ./run.sh --package) writes
#   <build>/kalvoran-downloader_<version>_<arch>.deb    the window, for customers
#   <build>/kalvoran-vendor-tools_<version>_<arch>.deb  kalvoran-key, kalvoran-get
#       and the reference server with its nginx + PHP-FPM site, for the vendor
# Both carry the download servers this build was configured with
# (cmake/Hosts.cmake) in their descriptions, changelogs and manual pages.
# Their dependencies are worked out from the binaries by dpkg-shlibdeps.
#
# The window's install rule (src/app) and the customer's texts name no
# component, so CMake's default one, "Unspecified", is the customer package;
# everything of the vendor's is installed as the component "vendor". A
# customer must never receive the key maker, so a file belongs to the vendor
# only by saying so.

set(KALVORAN_SCREENSHOT_URL "http://${KALVORAN_HOMEPAGE_EN}/kalvoran-downloader.png" CACHE STRING
    "Where the screenshot of the AppStream description is published (packaging/screenshot.png)")

add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Without the window there is nothing for a customer: the vendor's package only.
if(KALVORAN_BUILD_APP)
  set(CPACK_COMPONENTS_ALL Unspecified vendor)
else()
  set(CPACK_COMPONENTS_ALL vendor)
endif()
set(CPACK_PACKAGE_NAME kalvoran-downloader)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME kalvoran-downloader)
set(CPACK_DEBIAN_VENDOR_PACKAGE_NAME kalvoran-vendor-tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${KALVORAN_PACKAGE_VENDOR})
set(CPACK_PACKAGE_CONTACT ${KALVORAN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${KALVORAN_PACKAGE_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# CPack puts one summary in front of every component's description; each
# package has its own, so the first line of each description is its summary.
set(kalvoran_servers_text "  0: ${KALVORAN_DOWNLOAD_SERVER_0}
  1: ${KALVORAN_DOWNLOAD_SERVER_1} (also receives the usage statistics)
  2: ${KALVORAN_DOWNLOAD_SERVER_2}
")  # the line end keeps the last line's indent, which CPack would strip
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION
    "download client for content packages bought with a key
Kalvoran Downloader shows a small window: the customer pastes the download
key of a content package into it and presses DOWNLOAD. The program fetches
every file of the package into a folder named Kalvoran Downloader under the
directory it was started from, and opens the result. The window speaks
Slovak, Czech, English and German.

This build fetches from these download servers:
${kalvoran_servers_text}")
set(CPACK_DEBIAN_VENDOR_DESCRIPTION
    "vendor's tools for Kalvoran Downloader: keys and download server
What the vendor of Kalvoran Downloader needs beside the customers' package:
kalvoran-key makes and reads the download keys of content packages,
kalvoran-get fetches addresses with the downloader's own HTTP client, and
/usr/share/kalvoran-server holds the download server's PHP scripts with an
example nginx site and PHP-FPM pool, and serve.sh, which runs them on
loopback for a trial.

The downloader of this build, for which the keys are made, fetches from
these download servers:
${kalvoran_servers_text}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time needs no binary links to: the fonts of the window, Qt's own
# translations of its dialogs, and xdg-open for the browser and the folder.
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_RECOMMENDS "fonts-liberation, qt6-translations-l10n, xdg-utils")
# The server scripts run in PHP-FPM behind nginx; php-cli serves them alone
# (serve.sh without --nginx).
set(CPACK_DEBIAN_VENDOR_PACKAGE_RECOMMENDS "nginx-light | nginx, php-fpm")
set(CPACK_DEBIAN_VENDOR_PACKAGE_SUGGESTS "php-cli")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
