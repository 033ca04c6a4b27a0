# Tests of the session part of the instrument library.

# The public header is valid C: a C program includes it and uses the library.
if(NOT VK_FUZZ)
  add_executable(zorbel_header_c tests/header_c.c)
  target_link_libraries(zorbel_header_c PRIVATE Zorbel_dll)
  target_include_directories(zorbel_header_c PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/include)
  set_target_properties(zorbel_header_c PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
  target_compile_options(zorbel_header_c PRIVATE -Wpedantic)
  add_test(NAME zorbel_header_c COMMAND zorbel_header_c)
  set_tests_properties(zorbel_header_c PROPERTIES ENVIRONMENT "${VK_TEST_ENV}")
endif()

vk_add_gtest(zrb_log_tests SOURCES tests/zrb_log_test.cpp LIBS zrb_internal zlog_capture)
