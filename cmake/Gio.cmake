# Gio, through pkg-config: the imported target PkgConfig::GIO
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
message(STATUS "Zanvel: Gio ${GIO_VERSION} found")
