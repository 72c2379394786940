# The grey-map reader, fed arbitrary headers and sample data.
zanvel_add_fuzzer(pgm_reader_fuzzer PgmReaderFuzzer.cpp LIBS zanvel_core
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/pgm)
