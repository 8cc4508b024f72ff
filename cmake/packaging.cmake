# Installing and packaging. Linux: the command line, its manual page and its documents, as a
# Debian package made by CPack. Windows: kelvane.exe with its README, licence and notices, as a
# ZIP. scripts/package.sh makes both.
set(KELVANE_CONTACT "Kelvane developers <kelvane@example.org>")
# The day this version was released, for the Debian changelog (RFC 2822).
set(KELVANE_RELEASE_DATE "Mon, 07 Dec 2026 12:00:00 +0000")
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "the Kelvane developers")
set(CPACK_PACKAGE_CONTACT "${KELVANE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split Jw_cad drawings into one drawing per paper frame")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS kelvane RUNTIME DESTINATION .)
  # Text files as Windows readers expect them: CR LF, .txt; the README gets the version.
  foreach(pair "packaging/README-windows.txt;README.txt" "LICENSE;LICENSE.txt" "THIRD_PARTY.md;THIRD_PARTY.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    file(READ ${from} text)
    file(CONFIGURE OUTPUT ${to} CONTENT "${text}" @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${to} DESTINATION .)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${from})
  endforeach()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kelvane-${PROJECT_VERSION}-windows-x64)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS kelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The picture modules where the program looks for them from its own folder.
install(TARGETS kelvane_picture_module kelvane_pdf_module LIBRARY DESTINATION ${KELVANE_PICTURE_MODULE_DIR})

# The manual page, written from --help and --version by help2man and compressed as Debian wants.
# A sanitizer build is for testing only; it makes no page.
find_program(KELVANE_HELP2MAN help2man)
if(KELVANE_HELP2MAN AND NOT KELVANE_SANITIZE)
  add_custom_command(OUTPUT kelvane.1.gz
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
            ${KELVANE_HELP2MAN} --no-info --locale=C.UTF-8 --section=1 --name=${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
            --output=kelvane.1 $<TARGET_FILE:kelvane>
    COMMAND gzip -9nf kelvane.1
    DEPENDS kelvane VERBATIM)
  add_custom_target(kelvane_manual ALL DEPENDS kelvane.1.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kelvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(NOT KELVANE_SANITIZE)
  message(WARNING "help2man not found: the manual page is not made and not installed (install the Debian package help2man)")
endif()

# The documents, with the copyright and changelog in the form Debian's tools read.
configure_file(packaging/changelog.in changelog @ONLY)
add_custom_command(OUTPUT changelog.gz COMMAND gzip -9nkf changelog DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_target(kelvane_changelog ALL DEPENDS changelog.gz)
install(FILES README.md LICENSE THIRD_PARTY.md CHANGELOG.md packaging/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KELVANE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Japanese fonts the pictures and PDFs are tested with: IPA, or Noto CJK where it is installed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, fonts-ipafont-mincho | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary line comes first, from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kelvane splits a Jw_cad drawing (a JWW file) that holds several sheets side
by side into one JWW file per sheet. A sheet is marked by a paper frame; every
entity in or across the frame goes onto the sheet whole, centred on the frame,
on a paper size chosen from it, in the drawing's own JWW version.
.
It also shows the plan of a split, draws print-true PNG, SVG and PDF pictures
of the sheets, and describes drawings as JSON.")
include(CPack)
