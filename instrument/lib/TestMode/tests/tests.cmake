# Tests of the wire test mode: the real library against the strict simulator
# with its pin model.
if(VK_FUZZ)
  return()
endif()

# The wire test-mode section of the public header as C99.
add_executable(zorbel_wire_tm_header_c ${CMAKE_CURRENT_LIST_DIR}/wire_tm_header_c.c)
target_link_libraries(zorbel_wire_tm_header_c PRIVATE Zorbel_dll)
target_include_directories(zorbel_wire_tm_header_c PRIVATE ${PROJECT_SOURCE_DIR}/instrument/include)
set_target_properties(zorbel_wire_tm_header_c PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(zorbel_wire_tm_header_c PRIVATE -Wpedantic)
add_test(NAME zorbel_wire_tm_header_c COMMAND zorbel_wire_tm_header_c)
set_tests_properties(zorbel_wire_tm_header_c PROPERTIES ENVIRONMENT "${VK_TEST_ENV}")

vk_add_gtest(zrb_wire_tm_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/wire_tm_test.cpp
             LIBS Zorbel_dll zrb_internal zrbsim_core vktesting zlog_capture LABELS threads TIMEOUT 60)
if(TARGET zrb_wire_tm_tests)
  target_include_directories(zrb_wire_tm_tests PRIVATE ${PROJECT_SOURCE_DIR}/instrument/tests
                                                       ${PROJECT_SOURCE_DIR}/instrument/lib/waveform/tests)
endif()
