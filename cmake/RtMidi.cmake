# RtMidi, through pkg-config: the imported target PkgConfig::RTMIDI
pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
message(STATUS "Zanvel: RtMidi ${RTMIDI_VERSION} found")
