# The session file's container, manifest and pictures: libzip and libpng through pkg-config,
# nlohmann-json as a header-only package.
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
find_package(nlohmann_json 3 REQUIRED)
message(STATUS "Zanvel: libzip ${LIBZIP_VERSION}, libpng ${LIBPNG_VERSION}, nlohmann-json ${nlohmann_json_VERSION} found")
