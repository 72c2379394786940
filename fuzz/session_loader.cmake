# The session file reader, fed damaged containers, manifests and pictures. The session
# sources are compiled into the fuzzer itself so that their branches are instrumented.
zanvel_add_fuzzer(session_loader ${CMAKE_CURRENT_LIST_DIR}/session_loader.cpp
  ${PROJECT_SOURCE_DIR}/src/session/SessionFile.cpp
  ${PROJECT_SOURCE_DIR}/src/session/PngCodec.cpp
  ${PROJECT_SOURCE_DIR}/src/session/SafeFile.cpp
  LIBS PkgConfig::LIBZIP PkgConfig::LIBPNG nlohmann_json::nlohmann_json
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/session)
target_include_directories(session_loader PRIVATE ${PROJECT_SOURCE_DIR}/src)
