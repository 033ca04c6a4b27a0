# Tests of the transponder, transparent, SAM and card-crypto commands.

# Through the exports of the deliverable, against the simulated reader on
# loopback TCP and a pseudo-terminal.
vk_add_gtest(vkkrn_transponder_api_tests
  SOURCES commands/api_transponder_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  RUNTIME_DEPS vkcom vktcp)

# USB readers of both generations against the stand-in libvkusb.
vk_add_gtest(vkkrn_usb_commands_api_tests
  SOURCES commands/api_usb_commands_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn_core
  ENV "LD_LIBRARY_PATH=${fakes}/fake_usb_transfer:${lib}"
  RUNTIME_DEPS vkkrn_fake_usb_transfer)

# Commands of several threads on one reader and on two.
vk_add_gtest(vkkrn_transponder_thread_tests
  SOURCES commands/thread_transponder_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  LABELS threads
  RUNTIME_DEPS vktcp)

# Through the library's objects: the records a plug-in sees, and the requests
# over the in-process link.
vkkrn_internal_test(vkkrn_internal_transponder_tests
  SOURCES commands/internal_transponder_records_test.cpp)
target_link_libraries(vkkrn_internal_transponder_tests PRIVATE simkrn_core)
