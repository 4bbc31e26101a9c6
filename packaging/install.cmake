# Installation (cmake --install) and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS uldo uldoc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/uldoc.1 ${CMAKE_SOURCE_DIR}/packaging/uldo.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/uldoc.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME uldoc)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/uldo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/uldo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
file(GLOB ULDO_EXAMPLES ${CMAKE_SOURCE_DIR}/examples/*.json ${CMAKE_SOURCE_DIR}/examples/*.kvt
     ${CMAKE_SOURCE_DIR}/examples/*.set)
install(FILES ${ULDO_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/uldo/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/fields.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(ULDO_PACKAGE_MAINTAINER "ULDO developers <uldo@localhost>" CACHE STRING "Maintainer field of the .deb")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME uldo)
set(CPACK_PACKAGE_VENDOR "ULDO")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "multi-carrier test signals for arbitrary waveform generators")
set(CPACK_PACKAGE_DESCRIPTION
    "ULDO compiles a table of up to 100 digitally modulated carriers into one sampled record for an arbitrary waveform generator, shows analysis displays of it and writes the instruments' waveform files or sends them over GPIB or FTP. uldo is the desktop program, uldoc the command-line compiler.")
set(CPACK_PACKAGE_CONTACT ${ULDO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ULDO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The run-time libraries (Qt 6, QCustomPlot, FFTW) come from what the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY uldo)
include(CPack)

# The package installs into a scratch root and its uldoc compiles an example
# from there (dpkg --root; no root needed).
if(ULDO_TESTS)
  find_program(ULDO_DPKG dpkg)
  if(ULDO_DPKG)
    add_test(NAME package_deb
             COMMAND ${CMAKE_SOURCE_DIR}/packaging/check_deb.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package_deb PROPERTIES TIMEOUT 300)
  endif()
endif()
