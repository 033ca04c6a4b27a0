# Tests of the session part of the instrument library.

# The public header is valid C: a C program includes it and uses the library.
zrb_add_c_header_test(zorbel_header_c ${CMAKE_CURRENT_SOURCE_DIR}/tests/header_c.c)

vk_add_gtest(zrb_log_tests SOURCES tests/zrb_log_test.cpp LIBS zrb_internal zlog_capture)

# The session's pieces, pure and against the simulator.
vk_add_gtest(zrb_session_tests
             SOURCES tests/request_line_test.cpp tests/reply_grammar_test.cpp tests/session_test.cpp
             LIBS zrb_session zlog_capture zrbsim_core vktesting LABELS threads TIMEOUT 60)

# Needs 127.0.0.1:5000, which every test that binds it takes under one lock.
vk_add_gtest(zrb_loopback_tests SOURCES tests/loopback_session_test.cpp
             LIBS zrb_session zrbsim_core vktesting LABELS threads TIMEOUT 60
             PROPERTIES RESOURCE_LOCK zrb_loopback_5000)

# The command set through the real library, against the simulator's command table.
vk_add_gtest(zrb_commands_tests SOURCES tests/commands_test.cpp
             LIBS Zorbel_dll zrb_internal zrbsim_core vktesting zlog_capture LABELS threads TIMEOUT 60)
if(TARGET zrb_commands_tests)
  target_include_directories(zrb_commands_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/lib/waveform/tests)
endif()

# What only the library's own classes can build: a waveform without element text.
vk_add_gtest(zrb_commands_internal_tests SOURCES tests/commands_internal_test.cpp
             LIBS zrb_commands zrb_session zrb_waveform zrbsim_core vktesting LABELS threads TIMEOUT 60)
