# Install rules and the Debian packages: kvo-data-logger (the service, its
# unit, tmpfiles entry and manual page; on the simulated platform also
# kvo-sim) and kvo-archive (the archive tool alone, no service).

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

# Every file belongs to one package: the component "service" is
# kvo-data-logger, "archive" is kvo-archive.
set(KVO_SERVICE_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kvo-data-logger)
configure_file(packaging/kvo-data-logger.service.in kvo-data-logger.service @ONLY)
install(TARGETS kvo-data-logger RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)
install(FILES ${CMAKE_BINARY_DIR}/kvo-data-logger.service DESTINATION ${KVO_SYSTEMD_UNITDIR}
        COMPONENT service)
install(FILES packaging/kvo-data-logger.tmpfiles DESTINATION ${KVO_TMPFILESDIR}
        RENAME kvo-data-logger.conf COMPONENT service)
install(FILES packaging/device-ipc.conf.example DESTINATION ${KVO_SERVICE_DOCDIR}/examples
        COMPONENT service)
if(KVO_PLATFORM STREQUAL "sim")
  # Where the simulated vehicle lives and what to do when there is none.
  install(FILES packaging/simulated-platform.conf
          DESTINATION ${KVO_SYSTEMD_UNITDIR}/kvo-data-logger.service.d COMPONENT service)
endif()

# scripts/package builds the .deb files: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service archive)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME kvo-data-logger)
set(CPACK_DEBIAN_ARCHIVE_PACKAGE_NAME kvo-archive)
set(CPACK_PACKAGE_VENDOR "the kvo-data-logger authors")
set(CPACK_PACKAGE_CONTACT "kvo-data-logger authors <kvo-data-logger@example.org>")
# Each package's description begins with its own summary line; CPack puts
# the project-wide summary in front of it unless that is CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(kvo_service_summary "vehicle totals sampler and archiver")
set(kvo_service_text
    "A background service for in-vehicle telematics devices: samples values of\n"
    "the platform's system database into SQLite databases in volatile storage,\n"
    "keeps them under a size limit, backs them up into numbered, checksummed tar\n"
    "archives and restores the archived totals after a power cycle.")
set(kvo_archive_summary "reads kvo-data-logger's archives and working databases")
set(kvo_archive_text
    "Lists, verifies and dumps the numbered tar archives and the SQLite working\n"
    "databases of kvo-data-logger, judging each archive as the service's\n"
    "start-up would, without unpacking anything to disk. Meant for archives\n"
    "pulled off devices; it installs and starts no service.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(KVO_PLATFORM STREQUAL "sim")
  # Never mistaken for a device build: the versions say so, and the
  # service's summary. kvo-archive runs the same on either platform.
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}+sim)
  set(kvo_service_summary "SIMULATED PLATFORM build of the ${kvo_service_summary}")
  list(APPEND kvo_service_text
       "\n.\nThis build runs on the simulated platform, not on a device; it comes\n"
       "with kvo-sim, which creates and changes the simulated vehicle.")
endif()
string(CONCAT CPACK_DEBIAN_SERVICE_DESCRIPTION "${kvo_service_summary}\n" ${kvo_service_text})
string(CONCAT CPACK_DEBIAN_ARCHIVE_DESCRIPTION "${kvo_archive_summary}\n" ${kvo_archive_text})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_ARCHIVE_PACKAGE_SECTION utils)
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
# The backup runs the sqlite3 shell; tar, md5sum and mv are Essential. The
# simulated platform opens libarchive only to unpack, so no link names it.
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS sqlite3)
if(KVO_PLATFORM STREQUAL "sim")
  set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "sqlite3, libarchive13")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only the service's package has maintainer scripts; kvo-archive needs none.
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/preinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_STRIP_FILES ON)
# A cross build labels the packages with the target's architecture, not
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

# Each package's own licence file (as Debian names it) and compressed
# changelog.
string(TIMESTAMP KVO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(KVO_DEBIAN_PACKAGE ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KVO_DEBIAN_PACKAGE})
  set(staging ${CMAKE_BINARY_DIR}/debian-${KVO_DEBIAN_PACKAGE})
  configure_file(packaging/debian/changelog.in ${staging}/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf changelog.Debian WORKING_DIRECTORY ${staging})
  install(FILES LICENSE DESTINATION ${docdir} RENAME copyright COMPONENT ${component})
  install(FILES ${staging}/changelog.Debian.gz DESTINATION ${docdir} COMPONENT ${component})
endforeach()

# kvo-archive is built with fortify like the rest, but no call of it needs
# a run-time check, so lintian's heuristic finds no fortified function (see
# the override).
install(FILES packaging/debian/kvo-archive.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kvo-archive
        COMPONENT archive)

# Manual pages. Lines of a page that begin with @KVO_MAN_SIM@ concern the
# simulated platform; in a device build they become comments.
set(KVO_MAN_SIM "")
if(NOT KVO_PLATFORM STREQUAL "sim")
  set(KVO_MAN_SIM ".\\\" ")
endif()
set(kvo_pages kvo-data-logger.8:service kvo-archive.1:archive)
if(KVO_PLATFORM STREQUAL "sim")
  list(APPEND kvo_pages kvo-sim.1:service)
endif()
foreach(entry ${kvo_pages})
  string(REGEX REPLACE ":.*" "" page ${entry})
  string(REGEX REPLACE ".*:" "" component ${entry})
  string(REGEX REPLACE ".*\\." "man" section ${page})
  configure_file(packaging/${page} ${page} @ONLY)
  execute_process(COMMAND gzip -9nf ${page} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  install(FILES ${CMAKE_BINARY_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${section}
          COMPONENT ${component})
endforeach()
include(CPack)
