# GStreamer, through pkg-config: the imported target PkgConfig::GSTREAMER
pkg_check_modules(GSTREAMER REQUIRED IMPORTED_TARGET gstreamer-1.0 gstreamer-app-1.0 gstreamer-video-1.0)
message(STATUS "Zanvel: GStreamer ${GSTREAMER_VERSION} found")
