# What cmake --install lays out under the prefix: the programs in bin (and
# nothing else there), the shipped tables in share/velkor where the programs
# find them from bin, and what a Linux desktop expects of an application:
# menu entry, icon, MIME type for .cfp, AppStream data, manual pages, README
# and licence. velkor and velkor-cli are installed by their own folders.
if(WIN32)
  # A portable folder: the programs find their tables beside them.
  install(FILES data/targets.cfi data/pages.cfi README.md LICENSE DESTINATION .)
  return()
endif()

set(VELKOR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velkor)

install(TARGETS velkor-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES data/targets.cfi data/pages.cfi DESTINATION ${CMAKE_INSTALL_DATADIR}/velkor)

install(FILES data/linux/${VELKOR_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/linux/${VELKOR_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${VELKOR_APP_ID}.xml)
configure_file(data/linux/${VELKOR_APP_ID}.metainfo.xml.in ${VELKOR_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${VELKOR_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages: the FILES section is the same in all three; gzip -n keeps the
# output the same from build to build.
file(READ data/man/files.man VELKOR_MAN_FILES)
set(VELKOR_MAN_PAGES)
foreach(page velkor velkor-cli velkor-sim)
  configure_file(data/man/${page}.1.in man/${page}.1 @ONLY)
  add_custom_command(OUTPUT man/${page}.1.gz
    COMMAND gzip -9 -n -c ${page}.1 > ${page}.1.gz
    DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.1
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/man)
  list(APPEND VELKOR_MAN_PAGES ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(velkor_man ALL DEPENDS ${VELKOR_MAN_PAGES})
install(FILES ${VELKOR_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# README and the licence. A Debian package carries its licence as
# share/doc/<package>/copyright instead, with a changelog of its versions.
option(VELKOR_DEBIAN "The doc folder as the Debian package has it (scripts/package.sh)" OFF)
set(VELKOR_MAINTAINER "The Velkor Programmer developers <velkor@example.org>")
install(FILES README.md DESTINATION ${VELKOR_DOC_DIR})
if(VELKOR_DEBIAN)
  execute_process(COMMAND date -u -R -d ${VELKOR_RELEASE_DATE}
    OUTPUT_VARIABLE VELKOR_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  configure_file(data/debian/changelog.in debian/changelog @ONLY)
  add_custom_command(OUTPUT debian/changelog.gz
    COMMAND gzip -9 -n -c changelog > changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/debian)
  add_custom_target(velkor_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  install(FILES data/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${VELKOR_DOC_DIR})
else()
  install(FILES LICENSE DESTINATION ${VELKOR_DOC_DIR})
endif()
