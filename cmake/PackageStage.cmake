# Run by cpack (CPACK_PRE_BUILD_SCRIPTS, cmake/Package.cmake) on the staged files of a Debian
# package, before it packs them: gives them the form that Debian's policy asks for.
#
# - Manual pages, and documents in /usr/share/doc/<package>/ larger than 4 KiB except the
#   copyright file, are compressed with gzip -9n (no name, no time: the same bytes every time).
# - /usr/share/doc/<package>/changelog.gz: the package's changelog, one entry for this version,
#   dated SOURCE_DATE_EPOCH (a native package, its version has no Debian revision).
# - Directories and programs in /usr/bin get mode 0755, every other file 0644: the kit's Windows
#   files are data here. dpkg gives every file to root.
cmake_policy(VERSION 3.20)
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(docs "${stage}/usr/share/doc/${CPACK_PACKAGE_NAME}")
if(NOT IS_DIRECTORY "${docs}")
  message(FATAL_ERROR "the package ${CPACK_PACKAGE_NAME} has no ${docs}")
endif()
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not set; scripts/package.sh sets it")
endif()

function(compress file)
  execute_process(COMMAND gzip -9n "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed: ${status}")
  endif()
endfunction()

file(GLOB_RECURSE pages "${stage}/usr/share/man/*")
foreach(file IN LISTS pages)
  if(NOT file MATCHES "\\.gz$")
    compress("${file}")
  endif()
endforeach()
file(GLOB documents "${docs}/*")
foreach(file IN LISTS documents)
  file(SIZE "${file}" size)
  if(size GREATER 4096 AND NOT file MATCHES "/copyright$|\\.gz$")
    compress("${file}")
  endif()
endforeach()

string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${docs}/changelog" "\
${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) stable; urgency=medium

  * Built from halyard4 ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}
")
compress("${docs}/changelog")

file(GLOB_RECURSE files LIST_DIRECTORIES true "${stage}/*")
foreach(file IN LISTS files)
  file(RELATIVE_PATH path "${stage}" "${file}")
  if(IS_DIRECTORY "${file}" OR path MATCHES "^usr/bin/")
    file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
