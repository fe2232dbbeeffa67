# The Debian packages, made by cpack from a configured and built folder (scripts/package.sh,
# docs/packaging.md). The native build makes lzmulti_<version>_<arch>.deb: the program, its manual
# page, its README and copyright file. The Windows build makes halyard4-kit-win32_<version>_all.deb:
# the kit under /usr/share/halyard4/win32/, its documents under /usr/share/doc/halyard4-kit-win32/.
# Each package takes the files of its components in cmake/Install.cmake, stripped; then
# cmake/PackageStage.cmake gives the staged tree Debian's form (compressed manual page and large
# documents, the changelog, the permissions). The version is the project's; every time in the
# package is SOURCE_DATE_EPOCH's, which scripts/package.sh sets.
set(HALYARD_PACKAGE_MAINTAINER "halyard4 authors <halyard4@example.org>"
    CACHE STRING "The Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${HALYARD_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# Each component is installed into its folder of the package (the last field of a project entry)
# with the install prefix /.
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStage.cmake)

if(WIN32)
  set(CPACK_PACKAGE_NAME halyard4-kit-win32)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS nsis)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};kit;/usr/share/halyard4/win32"
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};kit-docs;/usr/share/doc/halyard4-kit-win32")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "halyard4 kit for building installers for 32-bit Windows")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
The Windows kit of halyard4, for building installers for 32-bit Windows on
this system: lzmulti.exe, the archiver that unpacks an installer's payload;
halyard4inst.dll, a library for installers that registers and unregisters
COM server modules and starts programs without a console window; its C and
C++ header halyard4inst.h; and an example NSIS installer script that uses
both.

The Windows files are data here, in /usr/share/halyard4/win32/: makensis
(package nsis) puts them into the installers it builds, and the native
lzmulti (package lzmulti) packs the payloads.]])
else()
  set(CPACK_PACKAGE_NAME lzmulti)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # Depends: computed by dpkg-shlibdeps from the libraries the program links (liblzma and the C
  # and C++ runtimes).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};lzmulti;/usr")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "archiver of many files in one LZMA-compressed archive")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
lzmulti packs files into one LZMA-compressed archive, lists the names an
archive holds, and unpacks it again. It is the archiver of the halyard4
installation kit: installers for 32-bit Windows carry its Windows build
to unpack their payload, and this program packs the payload on a Linux
host.

Unpacking skips stored names that are absolute, lead out of the folder,
or name a device, unless told to keep them; an archive is replaced only
once its new version is complete.]])
endif()

include(CPack)
