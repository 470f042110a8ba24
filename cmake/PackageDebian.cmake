# The Debian package of the window and kalvoran-key, made by CPack from this
# build: `cmake --build <build> --target package` (or ./run.sh --package)
# writes <build>/kalvoran-downloader_<version>_<arch>.deb. The package carries
# the download servers this build was configured with (cmake/Hosts.cmake) in
# its description, its changelog and the manual page. Its dependencies are
# worked out from the binaries by dpkg-shlibdeps.

set(KALVORAN_SCREENSHOT_URL "http://${KALVORAN_HOMEPAGE_EN}/kalvoran-downloader.png" CACHE STRING
    "Where the screenshot of the AppStream description is published (packaging/screenshot.png)")

add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalvoran-downloader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${KALVORAN_PACKAGE_VENDOR})
set(CPACK_PACKAGE_CONTACT ${KALVORAN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${KALVORAN_PACKAGE_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download client for content packages bought with a key")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kalvoran Downloader shows a small window: the customer pastes the download
key of a content package into it and presses DOWNLOAD. The program fetches
every file of the package into a folder named Kalvoran Downloader under the
directory it was started from, and opens the result. The window speaks
Slovak, Czech, English and German.

This build fetches from these download servers:
  0: ${KALVORAN_DOWNLOAD_SERVER_0}
  1: ${KALVORAN_DOWNLOAD_SERVER_1} (also receives the usage statistics)
  2: ${KALVORAN_DOWNLOAD_SERVER_2}

The package also holds kalvoran-key, which makes and reads download keys.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time needs no binary links to: the fonts of the window, Qt's own
# translations of its dialogs, and xdg-open for the browser and the folder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
