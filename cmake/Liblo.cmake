# Liblo, through pkg-config: the imported target PkgConfig::LIBLO
pkg_check_modules(LIBLO REQUIRED IMPORTED_TARGET liblo)
message(STATUS "Zanvel: Liblo ${LIBLO_VERSION} found")
