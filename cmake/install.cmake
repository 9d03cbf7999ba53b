# Install rules and the Debian package of the service.

include(GNUInstallDirs)

# systemd says where units and tmpfiles entries go; without its pkg-config
# file, the usual places under the prefix.
pkg_get_variable(KVO_SYSTEMD_UNITDIR_DEFAULT systemd systemdsystemunitdir)
pkg_get_variable(KVO_TMPFILESDIR_DEFAULT systemd tmpfilesdir)
if(NOT KVO_SYSTEMD_UNITDIR_DEFAULT)
  set(KVO_SYSTEMD_UNITDIR_DEFAULT ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
if(NOT KVO_TMPFILESDIR_DEFAULT)
  set(KVO_TMPFILESDIR_DEFAULT ${CMAKE_INSTALL_PREFIX}/lib/tmpfiles.d)
endif()
set(KVO_SYSTEMD_UNITDIR ${KVO_SYSTEMD_UNITDIR_DEFAULT} CACHE PATH "Where the systemd unit goes")
set(KVO_TMPFILESDIR ${KVO_TMPFILESDIR_DEFAULT} CACHE PATH "Where the tmpfiles.d entry goes")

configure_file(packaging/kvo-data-logger.service.in kvo-data-logger.service @ONLY)
install(TARGETS kvo-data-logger RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/kvo-data-logger.service DESTINATION ${KVO_SYSTEMD_UNITDIR})
install(FILES packaging/kvo-data-logger.tmpfiles DESTINATION ${KVO_TMPFILESDIR}
        RENAME kvo-data-logger.conf)

# scripts/package builds the .deb: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the kvo-data-logger authors")
set(CPACK_PACKAGE_CONTACT "kvo-data-logger authors <kvo-data-logger@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vehicle totals sampler and archiver")
set(CPACK_PACKAGE_DESCRIPTION
    "A background service for in-vehicle telematics devices: samples values of\n"
    "the platform's system database into SQLite databases in volatile storage,\n"
    "keeps them under a size limit, backs them up into numbered, checksummed tar\n"
    "archives and restores the archived totals after a power cycle.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(KVO_PLATFORM STREQUAL "sim")
  # Never mistaken for a device build: the version and the summary say so.
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}+sim)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SIMULATED PLATFORM build of the ${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\n.\nThis build runs on the simulated platform, not on a device.")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(KVO_PLATFORM STREQUAL "device")
  # The vendor's libraries come with the device's image, from no Debian
  # package: dpkg-shlibdeps finds them where the build linked them and, as
  # CPack lets it ignore libraries no package holds, adds no dependency.
  foreach(lib KVO_SYSDB_LIBRARY KVO_CMD_LIBRARY KVO_UTILS_LIBRARY)
    get_filename_component(dir "${${lib}}" DIRECTORY)
    list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${dir})
  endforeach()
endif()
# The backup runs the sqlite3 shell; tar, md5sum and mv are Essential.
# libarchive, which the simulated platform opens only to unpack, comes in
# through kvo-archive, which links it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS sqlite3)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_STRIP_FILES ON)
# A cross build labels the package with the target's architecture, not
# with that of the build machine.
if(CMAKE_CROSSCOMPILING AND NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(kvo_debian_arch_aarch64 arm64)
  set(kvo_debian_arch_arm armhf)
  set(kvo_debian_arch_x86_64 amd64)
  set(kvo_debian_arch_i686 i386)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${kvo_debian_arch_${CMAKE_SYSTEM_PROCESSOR}})
  if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    message(FATAL_ERROR "No Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}: "
            "set CPACK_DEBIAN_PACKAGE_ARCHITECTURE")
  endif()
endif()

# The licence as Debian names it, a compressed changelog and manual pages.
string(TIMESTAMP KVO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/debian/changelog.in changelog.Debian @ONLY)
execute_process(COMMAND gzip -9nf changelog.Debian WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES ${CMAKE_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
foreach(page kvo-data-logger.8 kvo-archive.1)
  string(REGEX REPLACE ".*\\." "man" section ${page})
  configure_file(packaging/${page} ${page} COPYONLY)
  execute_process(COMMAND gzip -9nf ${page} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  install(FILES ${CMAKE_BINARY_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${section})
endforeach()
include(CPack)
