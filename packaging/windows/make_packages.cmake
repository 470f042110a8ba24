# Makes the Windows packages from the settings that PackageWindows.cmake
# wrote for a build:
#   cmake -DSETTINGS=<build>/packaging/windows/settings.cmake -P make_packages.cmake
# VERSION, OUTPUT_DIR, WORK and the SIGN_ settings given with -D take the
# place of the build's (so a test can make a later version, or a signed one,
# without a second build). With -DSIGN_FILE=<file> it only signs that file:
# that is how the installer and its uninstaller are signed by makensis.
cmake_minimum_required(VERSION 3.25)

set(overridable VERSION OUTPUT_DIR WORK SIGN_CERTIFICATE SIGN_KEY SIGN_PASSWORD_FILE
    SIGN_TIMESTAMP_URL)
foreach(name ${overridable})
  if(DEFINED ${name})
    set(given_${name} "${${name}}")
  endif()
endforeach()
include(${SETTINGS})
foreach(name ${overridable})
  if(DEFINED given_${name})
    set(${name} "${given_${name}}")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command}\nfailed (${status}):\n${out}")
  endif()
endfunction()

# Authenticode, SHA-256, named and linked to the vendor's homepage.
function(sign file)
  if(NOT SIGN_CERTIFICATE)
    return()
  endif()
  set(options -h sha256 -n "Kalvoran Downloader" -i "${HOMEPAGE}" -certs "${SIGN_CERTIFICATE}"
      -key "${SIGN_KEY}")
  if(SIGN_PASSWORD_FILE)
    list(APPEND options -readpass "${SIGN_PASSWORD_FILE}")
  endif()
  if(SIGN_TIMESTAMP_URL)
    list(APPEND options -ts "${SIGN_TIMESTAMP_URL}")
  endif()
  file(REMOVE "${file}.signed")
  run("${OSSLSIGNCODE}" sign ${options} -in "${file}" -out "${file}.signed")
  file(RENAME "${file}.signed" "${file}")
endfunction()

if(DEFINED SIGN_FILE)
  sign("${SIGN_FILE}")
  return()
endif()

# The programs as they are handed out: without their debugging information,
# signed.
function(stage program folder)
  get_filename_component(name "${program}" NAME)
  file(COPY_FILE "${program}" "${folder}/${name}")
  if(STRIP)
    run("${STRIP}" --strip-all "${folder}/${name}")
  endif()
  sign("${folder}/${name}")
endfunction()

# A zip of one folder, its files dated by the release.
function(zip folder archive)
  get_filename_component(parent "${folder}" DIRECTORY)
  get_filename_component(name "${folder}" NAME)
  file(REMOVE "${archive}")
  run("${CMAKE_COMMAND}" -E chdir "${parent}" "${CMAKE_COMMAND}" -E tar cf "${archive}" --format=zip
      "--mtime=${RELEASE_DATE} 00:00:00 UTC" "${name}")
endfunction()

# Text for the installer's script: NSIS's own characters escaped.
function(nsis_text variable text)
  string(REPLACE "$" "$$" text "${text}")
  string(REPLACE "\"" "$\\\"" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}/stage")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")

# The vendor's tools, for issuing and trying keys.
set(tools "${WORK}/stage/kalvoran-vendor-tools-${VERSION}")
file(MAKE_DIRECTORY "${tools}")
foreach(program ${VENDOR_PROGRAMS})
  stage("${program}" "${tools}")
endforeach()
list(GET TEXTS 1 copyright)
file(COPY "${copyright}" DESTINATION "${tools}")
zip("${tools}" "${OUTPUT_DIR}/kalvoran-vendor-tools-${VERSION}-win64.zip")
message(STATUS "Written: ${OUTPUT_DIR}/kalvoran-vendor-tools-${VERSION}-win64.zip")

if(NOT WINDOW)
  return()
endif()

# The customer's window: a portable copy that runs from any folder, and the
# installer.
set(portable "${WORK}/stage/kalvoran-downloader-${VERSION}")
file(MAKE_DIRECTORY "${portable}")
stage("${WINDOW}" "${portable}")
file(COPY ${TEXTS} DESTINATION "${portable}")
zip("${portable}" "${OUTPUT_DIR}/kalvoran-downloader-${VERSION}-win64.zip")
message(STATUS "Written: ${OUTPUT_DIR}/kalvoran-downloader-${VERSION}-win64.zip")

if(NOT MAKENSIS)
  message(FATAL_ERROR "makensis is not installed (Debian: nsis): no installer")
endif()
# The servers the first page names, each once.
set(servers ${SERVERS})
list(REMOVE_DUPLICATES servers)
list(JOIN servers "$\\r$\\n" server_lines)
nsis_text(vendor "${VENDOR}")
nsis_text(homepage "${HOMEPAGE}")
nsis_text(server_lines "${server_lines}")
string(REPLACE "$$\\r$$\\n" "$\\r$\\n" server_lines "${server_lines}")
# Windows wants four numbers in a version resource.
string(REGEX MATCHALL "[0-9]+" numbers "${VERSION}")
list(APPEND numbers 0 0 0 0)
list(SUBLIST numbers 0 4 numbers)
list(JOIN numbers "." version4)
set(installer "${OUTPUT_DIR}/kalvoran-downloader-${VERSION}-win64.exe")
set(defines "-DVERSION=${VERSION}" "-DVERSION4=${version4}" "-DVENDOR=${vendor}"
    "-DHOMEPAGE=${homepage}" "-DSERVERS=${server_lines}" "-DSTAGE=${portable}" "-DICON=${ICON}"
    "-DOUTFILE=${installer}")
if(SIGN_CERTIFICATE)
  # makensis runs this on the uninstaller and the installer it writes.
  set(signing "${WORK}/signing.cmake")
  file(WRITE "${signing}" "include([==[${SETTINGS}]==])\n")
  foreach(name SIGN_CERTIFICATE SIGN_KEY SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL)
    file(APPEND "${signing}" "set(${name} [==[${${name}}]==])\n")
  endforeach()
  list(APPEND defines "-DSIGN=\"${CMAKE_COMMAND}\" -DSETTINGS=\"${signing}\" -DSIGN_FILE=\"%1\" -P \"${CMAKE_CURRENT_LIST_FILE}\"")
endif()
file(REMOVE "${installer}")
run("${MAKENSIS}" -V2 -INPUTCHARSET UTF8 ${defines} "${SOURCE}/installer.nsi")
message(STATUS "Written: ${installer}")
