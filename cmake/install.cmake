# Installing: the executables, the simulated driver libraries in folders of
# their own under lib/talmer-arb (never where real drivers are looked for),
# the examples, the documentation, the manual pages, a desktop entry with
# its icon; and the Debian package built from the same install tree by
# cpack (cpack -G DEB in the build folder).
include(GNUInstallDirs)

set(TALMER_INSTALL_PKGLIB lib/talmer-arb)
set(TALMER_INSTALL_DOC ${CMAKE_INSTALL_DATAROOTDIR}/doc/talmer-arb)

install(TARGETS talmer-arb-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET talmer-arb)
  install(TARGETS talmer-arb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/talmer-arb.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/talmer-arb.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/talmer-arb.png
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/64x64/apps)
endif()

if(TARGET talmer-sim)
  install(TARGETS talmer-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # talmer-sim finds ../lib/talmer-arb/simlib from its own folder; the
  # one-family folders serve runs that must find only one of them.
  foreach(lib talmer_sim_ni488 talmer_sim_vbravlink talmer_sim_ravlink_base)
    install(FILES $<TARGET_FILE:${lib}> DESTINATION ${TALMER_INSTALL_PKGLIB}/simlib)
  endforeach()
  install(FILES $<TARGET_FILE:talmer_sim_ni488> DESTINATION ${TALMER_INSTALL_PKGLIB}/simlib-ni)
  install(FILES $<TARGET_FILE:talmer_sim_vbravlink> $<TARGET_FILE:talmer_sim_ravlink_base>
          DESTINATION ${TALMER_INSTALL_PKGLIB}/simlib-ravlink)
  install(FILES ${CMAKE_SOURCE_DIR}/sim/README.md DESTINATION ${TALMER_INSTALL_DOC} RENAME simulator.md)
endif()

file(GLOB TALMER_EXAMPLES ${CMAKE_SOURCE_DIR}/examples/*)
install(FILES ${TALMER_EXAMPLES} DESTINATION ${TALMER_INSTALL_DOC}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/HACKING.md DESTINATION ${TALMER_INSTALL_DOC})
file(GLOB TALMER_MAN_PAGES ${CMAKE_SOURCE_DIR}/docs/man/*.1)
install(FILES ${TALMER_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- Debian package ---------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talmer-arb)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "talmer-arb developers <talmer-arb@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Load I/Q waveform files into the ARB of a Talmer signal generator")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Loads I/Q waveform files (raw 16-bit binary, ASCII numbers, AWG2021 .wfm) and\ndownloads them into the arbitrary waveform generator of a Talmer signal generator\nover GPIB or RS-232. Includes a desktop window, a command-line front end and a\nsimulated instrument (talmer-sim) for use without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The window needs the Qt 6 widgets runtime and a platform plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3")
set(CPACK_STRIP_FILES ON)
include(CPack)

# The install tree (and, with TALMER_TEST_DEB=1 in the environment, the
# Debian package) checked by a test.
if(TALMER_BUILD_TESTS)
  add_test(NAME install_tree COMMAND ${CMAKE_SOURCE_DIR}/tests/install/install_check.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install_tree PROPERTIES TIMEOUT 600)
endif()
