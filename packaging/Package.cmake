# The Debian package `quorvane`, made by CPack (scripts/package.sh): the three
# programs, the receiver's udev rule, the desktop entry, icons, metainfo, man
# pages and documentation, with the dependencies dpkg-shlibdeps computes from
# the programs and maintainer scripts that make udev reload its rules.

# The Debian files every package carries in its documentation folder.
execute_process(
  COMMAND date -u -R -d "${QUORVANE_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE QUORVANE_RELEASE_DATE_RFC2822
  OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
set(debian_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging/debian)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${debian_dir}/changelog @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${debian_dir}/copyright @ONLY)
add_custom_command(OUTPUT ${debian_dir}/changelog.gz
  COMMAND ${QUORVANE_GZIP} -9 -n -f -k ${debian_dir}/changelog
  DEPENDS ${debian_dir}/changelog
  VERBATIM)
add_custom_target(quorvane_debian_changelog ALL DEPENDS ${debian_dir}/changelog.gz)
install(FILES ${debian_dir}/copyright ${debian_dir}/changelog.gz DESTINATION ${QUORVANE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "${QUORVANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (the standard buttons: はい/いいえ on a Japanese desktop) and a
# font for the Japanese window; the program runs without them, in English
# buttons and with boxes for the characters.
# The AppIndicator extension gives GNOME a tray for the program's icon; plain
# GNOME has none (the program's window then stays open).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk, gnome-shell-extension-appindicator")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "infrared remote control receiver as a keyboard")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorvane reads the button codes of a USB infrared remote control receiver
(a HID device) and turns each taught button into key presses for another
application: it brings the button's target window to the front, sends the
keys and gives the focus back. Buttons are taught in a small window with a
Japanese user interface; otherwise the program lives as a notification area
icon.

The package holds the program, a simulated receiver for trying it out
without hardware (quorvane-sim), a checker for configuration files
(quorvane-inicheck), a udev rule that gives the user at the seat access
to the receiver, and a GNOME Shell extension for switching windows on GNOME.
It runs on X11 desktops, on KDE Plasma and GNOME on Wayland, and on sway and
other wlroots compositors.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
    ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
