# Warnings for the project's own targets: zanvel_warnings(target)
add_library(zanvel_warnings INTERFACE)
target_compile_options(zanvel_warnings INTERFACE -Wall -Wextra -Wpedantic
  $<IF:$<CXX_COMPILER_ID:GNU>,-Wshadow=local,-Wshadow-uncaptured-local> -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference)
if(ZANVEL_WERROR)
  target_compile_options(zanvel_warnings INTERFACE -Werror)
endif()
