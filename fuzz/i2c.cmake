# The decode of captured I2C lines, which come from the instrument unchecked.
if(TARGET zrb_i2c)
  vk_add_fuzzer(fuzz_i2c_decode SOURCES ${CMAKE_CURRENT_LIST_DIR}/i2c_decode_fuzz.cpp
                LIBS zrb_i2c zrb_commands zrb_session zrb_waveform)
endif()
