# What `cmake --install BUILD --prefix PREFIX` (or DESTDIR=...) puts under the prefix.
#
# Linux: bin/lzmulti, the manual page share/man/man1/lzmulti.1, and the README, LICENSE and
# THIRD-PARTY-NOTICES.txt in share/doc/halyard4/. halyard4inst is a Windows library and ships in
# the kit only.
#
# Windows: the kit, one flat folder with lzmulti.exe, halyard4inst.dll, its header halyard4inst.h
# for C and C++ callers, README.txt, the NSIS include halyard4inst.nsh with the example installer
# script example-install.nsi, LICENSE and THIRD-PARTY-NOTICES.txt (the texts with line ends
# CR LF). scripts/pack-kit.sh (run by scripts/build-win32.sh) installs it into a stage with --strip
# and packs the zip and SHA256SUMS from there.
#
# The Debian packages (cmake/Package.cmake, docs/packaging.md) take their files from components:
# lzmulti for the package lzmulti, kit and kit-docs for halyard4-kit-win32, which puts the kit's
# files in /usr/share/halyard4/win32/ and its documents in /usr/share/doc/halyard4-kit-win32/. A
# rule with EXCLUDE_FROM_ALL serves the package only: it installs when its component is named
# (as cpack does), never in a plain installation.
include(GNUInstallDirs)

# Copies the text source to destination with line ends CR LF, and changes nothing else (unlike
# configure_file, which would replace what looks like its variables).
function(halyard_crlf_text source destination)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  if(EXISTS ${destination})
    file(READ ${destination} written)
  endif()
  if(NOT text STREQUAL "${written}")
    file(WRITE ${destination} "${text}")
  endif()
endfunction()

if(WIN32)
  # strip stamps the current time into a PE file unless SOURCE_DATE_EPOCH names one; without it
  # the stripped files keep the linker's time stamp 0.
  install(CODE [[
    if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
      set(ENV{SOURCE_DATE_EPOCH} 0)
    endif()
  ]] COMPONENT kit)
  configure_file(docs/kit-README.txt kit/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(installsupport/example-install.nsi kit/example-install.nsi @ONLY
                 NEWLINE_STYLE CRLF)
  halyard_crlf_text(${PROJECT_SOURCE_DIR}/installsupport/halyard4inst.nsh
                    ${CMAKE_CURRENT_BINARY_DIR}/kit/halyard4inst.nsh)
  halyard_crlf_text(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_BINARY_DIR}/kit/LICENSE)
  halyard_crlf_text(${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
                    ${CMAKE_CURRENT_BINARY_DIR}/kit/THIRD-PARTY-NOTICES.txt)
  # What an installer is built with, and the documents that come with it.
  install(TARGETS lzmulti halyard4inst RUNTIME DESTINATION . COMPONENT kit)
  install(FILES installsupport/halyard4inst.h ${CMAKE_CURRENT_BINARY_DIR}/kit/halyard4inst.nsh
                ${CMAKE_CURRENT_BINARY_DIR}/kit/example-install.nsi DESTINATION . COMPONENT kit)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kit/README.txt ${CMAKE_CURRENT_BINARY_DIR}/kit/LICENSE
                ${CMAKE_CURRENT_BINARY_DIR}/kit/THIRD-PARTY-NOTICES.txt
          DESTINATION . COMPONENT kit-docs)
  install(FILES packaging/halyard4-kit-win32.copyright DESTINATION . RENAME copyright
          COMPONENT kit-docs EXCLUDE_FROM_ALL)
else()
  install(TARGETS lzmulti RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lzmulti)
  install(FILES docs/lzmulti.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT lzmulti)
  install(FILES README.md LICENSE THIRD-PARTY-NOTICES.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The package's documents are in its own folder, with the copyright file.
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lzmulti COMPONENT lzmulti
          EXCLUDE_FROM_ALL)
  install(FILES packaging/lzmulti.copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lzmulti
          RENAME copyright COMPONENT lzmulti EXCLUDE_FROM_ALL)
endif()
