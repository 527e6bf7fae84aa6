# Installing Portwell as Linux users expect: the programs in bin/, a menu entry with its icon,
# the examples and the language guide; `make package` wraps the same files in a Debian package.
include(GNUInstallDirs)

# The desktop program is built only where Qt 6 is found.
if(TARGET portwell)
  install(TARGETS portwell)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/portwell.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/portwell.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/portwell/examples)
install(FILES ${PROJECT_SOURCE_DIR}/docs/language.md ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/portwell)

if(BUILD_TESTING)
  set(installed bin/ksl bin/portwell-cli share/applications/portwell.desktop
      share/icons/hicolor/scalable/apps/portwell.svg share/doc/portwell/examples/loopback.ksl)
  if(TARGET portwell)
    list(APPEND installed bin/portwell)
  endif()
  add_test(NAME InstallLayout
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DSTAGE=${PROJECT_BINARY_DIR}/install-check "-DEXPECTED=${installed}"
                   -P ${CMAKE_CURRENT_LIST_DIR}/CheckInstall.cmake)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME portwell)
set(CPACK_PACKAGE_VENDOR "Portwell")
set(CPACK_PACKAGE_CONTACT "Portwell developers <portwell@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Drive devices over a serial port with small scripts")
set(CPACK_PACKAGE_DESCRIPTION
    "Portwell runs and records macros, small Pascal-like scripts, against a serial device: a \
desktop window (portwell), a command-line runner (portwell-cli) and the script engine's own \
runner (ksl).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the programs link (Qt, libffi, the C++ runtime) become the package's dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-ipafont-gothic)
include(CPack)
