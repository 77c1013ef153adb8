# Installing the three programs as a desktop program: executables, icons, desktop entries and
# manual pages, the Python module, and a Debian package of them (make package).
include(GNUInstallDirs)
# Installing and packaging take what the build made; the Makefile builds first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(_programs tr805q-cli mb805q-sim)
if(TARGET tr805q)
  list(PREPEND _programs tr805q)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# tr805q-cli's settings module, in the program's own library folder, found from the program's
# place wherever the package is unpacked.
install(TARGETS settings_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/tr805q)
set_target_properties(tr805q-cli PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/tr805q")
target_compile_definitions(tr805q-cli PRIVATE TR805Q_SETTINGS_INSTALL_DIR="../${CMAKE_INSTALL_LIBDIR}/tr805q")

foreach(size 16 32 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tr805q-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tr805q.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/tr805q.desktop
              ${PROJECT_SOURCE_DIR}/resources/desktop/tr805q-simulated.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Manual pages go in compressed, as Debian keeps them.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(_manpages)
foreach(page tr805q tr805q-cli mb805q-sim)
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 > ${_out}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/${page}.1
    VERBATIM)
  list(APPEND _manpages ${_out})
endforeach()
add_custom_target(manpages ALL DEPENDS ${_manpages})
install(FILES ${_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Python module for the system's Python 3, with its type stubs beside it.
if(TARGET tr805q_python)
  install(TARGETS tr805q_python LIBRARY DESTINATION ${TR805Q_PYTHON_INSTALL_DIR})
  install(FILES ${PROJECT_SOURCE_DIR}/python/tr805q.pyi DESTINATION ${TR805Q_PYTHON_INSTALL_DIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tr805q)
set(CPACK_PACKAGE_VENDOR "TR805Q")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control program for the MB805Q evaluation kit")
set(CPACK_PACKAGE_DESCRIPTION
    "Identifies the MB805Q interface board and replaces its firmware, reads and writes target\n registers on the Z-LINK bus, loads and verifies Kernlet images, compiles and runs scripts\n on the board, and saves the board's trace of bus accesses. Includes a simulated board\n for work without a kit.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "TR805Q developers <tr805q@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/tr805q")
# The Qt 6 runtime libraries and the C++ runtime, as dpkg-shlibdeps finds them in the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The module is built for one Python version: its file name carries that version's ABI tag.
if(TARGET tr805q_python)
  math(EXPR _next_minor "${TR805Q_PYTHON_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= 3.${TR805Q_PYTHON_VERSION_MINOR}~), python3 (<< 3.${_next_minor})")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
