# The Windows packages: `cmake --build <build> --target package` writes, in
# the build folder,
#   kalvoran-downloader-<version>-win64.exe    the customer's installer (NSIS)
#   kalvoran-downloader-<version>-win64.zip    the customer's portable copy
#   kalvoran-vendor-tools-<version>-win64.zip  kalvoran-key and kalvoran-get
# packaging/windows/make_packages.cmake does the work, from the settings
# written here; the programs are stripped copies, signed when a certificate
# is set (osslsigncode, also for the installer and its uninstaller).
set(KALVORAN_SIGN_CERTIFICATE "" CACHE FILEPATH
    "Code-signing certificate (PEM or DER, with its chain) for the Windows packages; empty: unsigned")
set(KALVORAN_SIGN_KEY "" CACHE FILEPATH "The code-signing certificate's private key")
set(KALVORAN_SIGN_PASSWORD_FILE "" CACHE FILEPATH "A file holding the key's password, if it has one")
set(KALVORAN_SIGN_TIMESTAMP_URL "" CACHE STRING
    "A time-stamping server (RFC 3161), so that signatures outlive the certificate")

find_program(KALVORAN_MAKENSIS makensis)
find_program(KALVORAN_OSSLSIGNCODE osslsigncode)
if(KALVORAN_SIGN_CERTIFICATE AND NOT KALVORAN_OSSLSIGNCODE)
  message(FATAL_ERROR "KALVORAN_SIGN_CERTIFICATE is set, but osslsigncode is not installed")
endif()
if(KALVORAN_SIGN_CERTIFICATE AND NOT KALVORAN_SIGN_KEY)
  message(FATAL_ERROR "KALVORAN_SIGN_CERTIFICATE is set without KALVORAN_SIGN_KEY")
endif()

set(KALVORAN_WINDOWS_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/windows)
set(packaging ${PROJECT_BINARY_DIR}/packaging/windows)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${packaging}/copyright.txt @ONLY
               NEWLINE_STYLE CRLF)
configure_file(${KALVORAN_WINDOWS_PACKAGING}/README.txt.in ${packaging}/README.txt @ONLY
               NEWLINE_STYLE CRLF)

set(programs $<TARGET_FILE:kalvoran-key> $<TARGET_FILE:kalvoran-get>)
set(window "")
if(KALVORAN_BUILD_APP)
  set(window $<TARGET_FILE:kalvoran-downloader>)
endif()
file(GENERATE OUTPUT ${packaging}/settings.cmake CONTENT "\
set(VERSION [==[${PROJECT_VERSION}]==])
set(VENDOR [==[${KALVORAN_PACKAGE_VENDOR}]==])
set(HOMEPAGE [==[${KALVORAN_PACKAGE_HOMEPAGE}]==])
set(SERVERS [==[${KALVORAN_DOWNLOAD_SERVER_0};${KALVORAN_DOWNLOAD_SERVER_1};${KALVORAN_DOWNLOAD_SERVER_2}]==])
set(RELEASE_DATE [==[${KALVORAN_RELEASE_DATE}]==])
set(WINDOW [==[${window}]==])
set(VENDOR_PROGRAMS [==[${programs}]==])
set(TEXTS [==[${packaging}/README.txt;${packaging}/copyright.txt]==])
set(ICON [==[${PROJECT_SOURCE_DIR}/assets/icon.ico]==])
set(SOURCE [==[${KALVORAN_WINDOWS_PACKAGING}]==])
set(WORK [==[${packaging}]==])
set(OUTPUT_DIR [==[${PROJECT_BINARY_DIR}]==])
set(STRIP [==[${CMAKE_STRIP}]==])
set(MAKENSIS [==[${KALVORAN_MAKENSIS}]==])
set(OSSLSIGNCODE [==[${KALVORAN_OSSLSIGNCODE}]==])
set(SIGN_CERTIFICATE [==[${KALVORAN_SIGN_CERTIFICATE}]==])
set(SIGN_KEY [==[${KALVORAN_SIGN_KEY}]==])
set(SIGN_PASSWORD_FILE [==[${KALVORAN_SIGN_PASSWORD_FILE}]==])
set(SIGN_TIMESTAMP_URL [==[${KALVORAN_SIGN_TIMESTAMP_URL}]==])
")

add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -DSETTINGS=${packaging}/settings.cmake
          -P ${KALVORAN_WINDOWS_PACKAGING}/make_packages.cmake
  COMMENT "Windows packages: installer and zips"
  VERBATIM)
add_dependencies(package kalvoran-key kalvoran-get)
if(KALVORAN_BUILD_APP)
  add_dependencies(package kalvoran-downloader)
endif()
