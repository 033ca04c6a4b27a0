# Arbitrary replies through the transceive engine (with and without the fake
# cipher), the transparent exchange, the first-generation USB splitter and the
# reply parsing of the reader commands.
if(TARGET vkkrn_objects)
  vk_add_fuzzer(fuzz_vkkrn_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/protocol/tests/support/fake_cipher.cpp
    LIBS vkkrn_objects)
  target_include_directories(fuzz_vkkrn_engine PRIVATE ${PROJECT_SOURCE_DIR}/protocol/tests/support)
endif()
