# What `cmake --install` puts where (GNU layout under CMAKE_INSTALL_PREFIX), and the Debian
# package CPack makes of it (`make package`).

install(TARGETS zanvel-send zanvel-listen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ZANVEL_BUILD_APP)
  install(TARGETS zanvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/zanvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/zanvel.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()
install(FILES docs/man/zanvel.1 docs/man/zanvel-send.1 docs/man/zanvel-listen.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
        PATTERN "man" EXCLUDE PATTERN "screenshots" EXCLUDE)

# The package's dependencies: the lines of scripts/packages.txt tagged "run".
file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/packages.txt package_lines REGEX "#[ \t]*run[ \t]*$")
set(run_packages "")
foreach(line IN LISTS package_lines)
  string(REGEX REPLACE "[ \t]*#.*$" "" package "${line}")
  list(APPEND run_packages "${package}")
endforeach()
list(JOIN run_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zanvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zanvel developers <zanvel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Camera to music control: messages, OSC, MIDI and LCS data from what it sees")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
