# What `cmake --install BUILD --prefix PREFIX` (or DESTDIR=...) puts under the prefix.
#
# Linux: bin/lzmulti, the manual page share/man/man1/lzmulti.1, and the README, LICENSE and
# THIRD-PARTY-NOTICES.txt in share/doc/halyard4/. halyard4inst is a Windows library and ships in
# the kit only.
#
# Windows: the kit, one flat folder with lzmulti.exe, halyard4inst.dll, its header halyard4inst.h
# for C and C++ callers, README.txt, the NSIS include halyard4inst.nsh with the example installer
# script example-install.nsi, LICENSE and THIRD-PARTY-NOTICES.txt (the texts with line ends CR LF). scripts/pack-kit.sh (run by
# scripts/build-win32.sh) installs it into a stage with --strip and packs the zip and SHA256SUMS
# from there.
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
  ]])
  configure_file(docs/kit-README.txt kit/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(installsupport/example-install.nsi kit/example-install.nsi @ONLY
                 NEWLINE_STYLE CRLF)
  halyard_crlf_text(${PROJECT_SOURCE_DIR}/installsupport/halyard4inst.nsh
                    ${CMAKE_CURRENT_BINARY_DIR}/kit/halyard4inst.nsh)
  halyard_crlf_text(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_BINARY_DIR}/kit/LICENSE)
  halyard_crlf_text(${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
                    ${CMAKE_CURRENT_BINARY_DIR}/kit/THIRD-PARTY-NOTICES.txt)
  install(TARGETS lzmulti halyard4inst RUNTIME DESTINATION .)
  install(FILES installsupport/halyard4inst.h
                ${CMAKE_CURRENT_BINARY_DIR}/kit/README.txt
                ${CMAKE_CURRENT_BINARY_DIR}/kit/halyard4inst.nsh
                ${CMAKE_CURRENT_BINARY_DIR}/kit/example-install.nsi
                ${CMAKE_CURRENT_BINARY_DIR}/kit/LICENSE
                ${CMAKE_CURRENT_BINARY_DIR}/kit/THIRD-PARTY-NOTICES.txt DESTINATION .)
else()
  install(TARGETS lzmulti RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/lzmulti.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE THIRD-PARTY-NOTICES.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
