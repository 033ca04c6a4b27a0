# Tests of the wire test mode: the real library against the strict simulator
# with its pin model.
if(VK_FUZZ)
  return()
endif()

# The wire test-mode section of the public header as C99.
zrb_add_c_header_test(zorbel_wire_tm_header_c ${CMAKE_CURRENT_LIST_DIR}/wire_tm_header_c.c)

vk_add_gtest(zrb_wire_tm_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/wire_tm_test.cpp
             LIBS Zorbel_dll zrb_internal zrbsim_core vktesting zlog_capture LABELS threads TIMEOUT 60)
if(TARGET zrb_wire_tm_tests)
  target_include_directories(zrb_wire_tm_tests PRIVATE ${PROJECT_SOURCE_DIR}/instrument/tests
                                                       ${PROJECT_SOURCE_DIR}/instrument/lib/waveform/tests)
endif()
