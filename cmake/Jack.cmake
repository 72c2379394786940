# Jack, through pkg-config: the imported target PkgConfig::JACK
pkg_check_modules(JACK REQUIRED IMPORTED_TARGET jack)
message(STATUS "Zanvel: Jack ${JACK_VERSION} found")
