# What `cmake --install` puts under the prefix, and the Debian package made
# from the same install. The program recognises an install by the desktop
# entry in <prefix>/share/applications beside its own <prefix>/bin, so these
# two folder names are fixed here rather than taken from GNUInstallDirs.
install(TARGETS velkor RUNTIME DESTINATION bin)

configure_file(${CMAKE_CURRENT_LIST_DIR}/velkor.desktop.in
               ${CMAKE_CURRENT_BINARY_DIR}/${VELKOR_APP_ID}.desktop @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/velkor.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/${VELKOR_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${VELKOR_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${VELKOR_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${VELKOR_HICOLOR_DIR}/ DESTINATION share/icons/hicolor)
# The window icon of the installed program (a portable one keeps it beside itself).
install(FILES ${VELKOR_ICON} DESTINATION share/velkor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR Velkor)
set(CPACK_PACKAGE_CONTACT "Velkor developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for the Velkor programmable DC power supply")
# The long description under the summary line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "One window that finds the supply on a serial port by itself, sets voltage
and current limit, shows the measured values as readouts and strip charts,
saves a record file at every switch-off and runs sequence programs from a
step table. Chinese and English.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the program links come from dpkg-shlibdeps. What the linker
# does not see: the SQLite driver Qt loads as a plugin for the step table, and
# the fonts that stand in for the window's Chinese faces. The xcb platform
# plugin and its libraries are part of libqt6gui6 on Debian 12, which the
# linked libraries already pull in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, fonts-arphic-uming, fonts-arphic-ukai, fonts-noto-cjk")
include(CPack)
