# What `cmake --install` puts where, and the .deb that `make package` builds.
include(GNUInstallDirs)

set(TRAWLIX_APP_ID "io.github.trawlix.Trawlix" CACHE STRING
    "Reverse-DNS name of the desktop entry and the AppStream component; whoever publishes a build sets one under a name they control")
set(TRAWLIX_MAINTAINER "Trawlix developers <trawlix@example.invalid>" CACHE STRING
    "Name and address of whoever publishes the package, as the .deb's Maintainer and the copyright file's contact")
set(TRAWLIX_SCREENSHOT_URL "" CACHE STRING
    "Where the README's screenshots are published (https://.../); empty: the AppStream file names none")

# The pictures the README shows, with their captions; listed in the AppStream
# file only where they are published.
set(TRAWLIX_SCREENSHOTS "")
if(TRAWLIX_SCREENSHOT_URL)
  set(shots
    "main-window.png|The tree of links and files found on a page"
    "size-check.png|Sizes and pixel dimensions before anything is downloaded"
    "run-progress.png|A download run: eight transfers at once, files, speed and time left"
    "configuration.png|The configuration")
  set(kind "default")
  string(REGEX REPLACE "/$" "" base "${TRAWLIX_SCREENSHOT_URL}")
  string(APPEND TRAWLIX_SCREENSHOTS "  <screenshots>\n")
  foreach(shot IN LISTS shots)
    string(REPLACE "|" ";" parts "${shot}")
    list(GET parts 0 file)
    list(GET parts 1 caption)
    string(APPEND TRAWLIX_SCREENSHOTS "    <screenshot type=\"${kind}\">\n      <caption>${caption}</caption>\n"
                                      "      <image>${base}/${file}</image>\n    </screenshot>\n")
    set(kind "extra")
  endforeach()
  string(APPEND TRAWLIX_SCREENSHOTS "  </screenshots>\n")
endif()

set(staged ${CMAKE_BINARY_DIR}/install)
configure_file(${CMAKE_SOURCE_DIR}/resources/trawlix.metainfo.xml.in ${staged}/${TRAWLIX_APP_ID}.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/trawlix.desktop ${staged}/${TRAWLIX_APP_ID}.desktop COPYONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/copyright.in ${staged}/copyright @ONLY)

install(TARGETS trawlix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/Trawlix.rtf DESTINATION ${CMAKE_INSTALL_DATADIR}/trawlix)
install(FILES ${staged}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/trawlix)
install(FILES ${staged}/${TRAWLIX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${staged}/${TRAWLIX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 128)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/trawlix-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME trawlix.png)
endforeach()

# The .deb: its dependencies are read from the shared libraries the program links.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "trawlix")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TRAWLIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TRAWLIX_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Collect the pictures and files that web pages link to")
set(CPACK_DEBIAN_PACKAGE_SECTION "web")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
include(CPack)
