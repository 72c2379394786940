# The decoder of messages from other programs: any bytes either decode to a message that
# flattens back to the same bytes, or are refused with a reason. BMessage.cpp is compiled into
# the fuzzer itself so that its branches are instrumented for coverage.
zanvel_add_fuzzer(message_decoder ${CMAKE_CURRENT_LIST_DIR}/message_decoder.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/app/BMessage.cpp
  LIBS zanvel_platform CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/message_decoder)
