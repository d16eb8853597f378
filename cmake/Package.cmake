# The Debian package, cpack -G DEB (scripts/package.sh builds it):
# velkor_<version>_<arch>.deb of what cmake/Install.cmake lays out under /usr.
# The libraries it needs are found by dpkg-shlibdeps; Depends adds what the
# window loads at run time, which no ELF header names.
if(WIN32)
  # velkor-<version>-win64.zip: one folder to unpack and run from.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME velkor)
  set(CPACK_PACKAGE_VENDOR "The Velkor Programmer developers")
  set(CPACK_PACKAGE_FILE_NAME velkor-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR "The Velkor Programmer developers")
set(CPACK_PACKAGE_CONTACT ${VELKOR_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programs STM32F microcontrollers through their USART bootloader")
# Lines of at most 80 characters, as Debian's description field wants them.
set(CPACK_PACKAGE_DESCRIPTION "\
Velkor Programmer programs STM32F chips through the bootloader in their system
memory, over a serial adapter whose DTR and RTS lines drive the chip's reset
and BOOT0: it identifies the chip, programs and verifies an Intel HEX file,
checks that the flash is blank, removes the protections and erases the chip,
and reads the flash back into a file.

The package holds the window (German interface), velkor-cli with the same
jobs for scripts and production lines, and velkor-sim, a simulated chip on a
pseudo-terminal to try them on.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's X11 and Wayland plugins are a package of their own; the controls are
# drawn for Liberation Sans; Qt's own dialogs take their German from
# qt6-translations-l10n; the three beeps are sounds of the freedesktop theme.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sound-theme-freedesktop")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
