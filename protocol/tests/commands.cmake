# Tests of the command exports: the export frame, the command records, and the
# commands against the simulated reader on every port.

# Through the library's objects: the export frame and the records a plug-in
# sees (a recording in-process plug-in on the simulated reader).
vkkrn_internal_test(vkkrn_internal_command_tests
  SOURCES commands/internal_command_frame_test.cpp)
target_link_libraries(vkkrn_internal_command_tests PRIVATE simkrn_core)

# USB readers of both generations against the stand-in libvkusb.
vkkrn_internal_test(vkkrn_internal_command_usb_tests
  SOURCES commands/internal_command_usb_test.cpp
  ENV "LD_LIBRARY_PATH=${fakes}/fake_usb_transfer:${lib}"
  LABELS threads
  RUNTIME_DEPS vkkrn_fake_usb_transfer)
target_link_libraries(vkkrn_internal_command_usb_tests PRIVATE simkrn_core)

# Through the exports of the deliverable, against the simulated reader on
# loopback TCP and a pseudo-terminal.
vk_add_gtest(vkkrn_command_api_tests
  SOURCES commands/api_commands_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  RUNTIME_DEPS vkcom vktcp)

# Commands from several threads, on one reader and on two.
vk_add_gtest(vkkrn_command_thread_tests
  SOURCES commands/thread_commands_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  LABELS threads
  RUNTIME_DEPS vktcp)
