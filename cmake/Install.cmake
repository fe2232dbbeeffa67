# What `cmake --install BUILD --prefix PREFIX` (or DESTDIR=...) puts under the prefix.
#
# Linux: bin/lzmulti, the manual page share/man/man1/lzmulti.1 and the README in
# share/doc/halyard4/. halyard4inst is a Windows library and ships in the kit only.
#
# Windows: the kit, one flat folder with lzmulti.exe, halyard4inst.dll, its header halyard4inst.h
# for C and C++ callers, README.txt and the example installer script example-install.nsi (both
# texts with line ends CR LF). scripts/pack-kit.sh (run by scripts/build-win32.sh) installs it
# into a stage with --strip and packs the zip and SHA256SUMS from there.
include(GNUInstallDirs)

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
  install(TARGETS lzmulti halyard4inst RUNTIME DESTINATION .)
  install(FILES installsupport/halyard4inst.h ${CMAKE_CURRENT_BINARY_DIR}/kit/README.txt
                ${CMAKE_CURRENT_BINARY_DIR}/kit/example-install.nsi DESTINATION .)
else()
  install(TARGETS lzmulti RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/lzmulti.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
