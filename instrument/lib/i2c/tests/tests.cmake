# Tests of the I2C part: stimuli and transactions through the real library
# against the simulator, the decode and the contiguity step through the
# internal header.
if(VK_FUZZ)
  return()
endif()

# The I2C sections of the public header as C99.
zrb_add_c_header_test(zorbel_i2c_header_c ${CMAKE_CURRENT_LIST_DIR}/i2c_header_c.c)

vk_add_gtest(zrb_i2c_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/i2c_stimuli_test.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/i2c_transaction_test.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/i2c_bus_decoder.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/i2c_bus_decoder_test.cpp
             LIBS Zorbel_dll zrb_internal zrbsim_core vktesting zlog_capture LABELS threads TIMEOUT 60)
if(TARGET zrb_i2c_tests)
  # The internal header only to look into the stimuli; the code under test is
  # the shared library's.
  target_include_directories(zrb_i2c_tests PRIVATE ${PROJECT_SOURCE_DIR}/instrument/tests
                                                   ${PROJECT_SOURCE_DIR}/instrument/lib/waveform/tests
                                                   ${PROJECT_SOURCE_DIR}/instrument/lib/waveform
                                                   ${PROJECT_SOURCE_DIR}/instrument/lib/i2c)
  target_link_libraries(zrb_i2c_tests PRIVATE zrb_vcd_reader)
endif()

vk_add_gtest(zrb_i2c_internal_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/i2c_decode_test.cpp
             LIBS zrb_i2c zrb_commands zrb_session zrb_waveform)
