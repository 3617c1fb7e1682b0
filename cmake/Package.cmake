# The Debian package (scripts/package.sh builds it): installs under /usr, its
# library dependencies found by dpkg-shlibdeps, plus what is loaded at run
# time rather than linked.
# A packager may set their own with -DVORN_PACKAGE_MAINTAINER=...
if(NOT VORN_PACKAGE_MAINTAINER)
    set(VORN_PACKAGE_MAINTAINER "The VORN95 Wizard authors <vorn95-wizard@example.org>")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorn95)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VORN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin is loaded by Qt at start-up, so no linker sees it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Without NetworkManager the simulated dial-up service is dialed.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "network-manager")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "wizard that dials phonebook entries in turn until one connects
VORN95 Wizard dials the dial-up entries you pick from your phonebook one
after another, cycling through them while they are busy or fail, until one
of them connects. While you are connected it sits in the notification area
with the elapsed time in its tool tip, notices a broken line, can play a
tune when the connection is made, and keeps statistics for every entry.
.
It dials the connection profiles of NetworkManager (VPN, WireGuard, PPPoE,
mobile broadband, Bluetooth dial-up, ADSL) when NetworkManager runs, and
otherwise a simulated dial-up service with a sample phonebook, so it can be
tried without a modem. vorn-rasdial dials from a terminal, and vorn-reg
inspects and backs up the statistics.")

include(CPack)
