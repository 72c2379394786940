# One sanitizer for the whole build, chosen with -DZANVEL_SANITIZE=thread|address.
if(ZANVEL_SANITIZE)
  message(STATUS "Zanvel: building with -fsanitize=${ZANVEL_SANITIZE}")
  add_compile_options(-fsanitize=${ZANVEL_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${ZANVEL_SANITIZE})
endif()

# The fuzzing build instruments every target for coverage; the fuzzers themselves link libFuzzer.
if(ZANVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ZANVEL_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
