# Tests of the frame exports, capture, protocol log, texts and parameters.

# The fake cipher: the keystream alone for whoever plays the reader's side, and
# the cipher object that a test puts into a reader's cipher slot.
add_library(vkkrn_fake_keystream INTERFACE)
target_include_directories(vkkrn_fake_keystream INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/support)
add_library(vkkrn_fake_cipher STATIC support/fake_cipher.cpp)
target_link_libraries(vkkrn_fake_cipher PUBLIC vkkrn_fake_keystream vkkrn_objects)

# Frames written out by hand, with a CRC of their own.
add_library(vkkrn_frame_oracle INTERFACE)
target_include_directories(vkkrn_frame_oracle INTERFACE ${PROJECT_SOURCE_DIR}/protocol/codec/tests)

# The real port libraries, loaded by file name from the library directory.
set(vkkrn_real_ports "")
foreach(port IN ITEMS vkcom vktcp vkusb)
  if(TARGET ${port})
    list(APPEND vkkrn_real_ports ${port})
  endif()
endforeach()

vk_add_gtest(vkkrn_frame_api_tests
  SOURCES reader/api_frames_test.cpp reader/api_capture_test.cpp reader/api_log_test.cpp
          reader/api_params_test.cpp
          texts/api_status_texts_test.cpp
  LIBS vkkrn vkcommon vkkrn_test_support vkkrn_frame_oracle
  RUNTIME_DEPS ${vkkrn_real_ports})
vk_add_gtest(vkkrn_frame_thread_tests
  SOURCES reader/thread_frames_test.cpp
  LIBS vkkrn vkkrn_test_support vkkrn_frame_oracle
  LABELS threads)

vkkrn_internal_test(vkkrn_internal_frame_tests
  SOURCES reader/internal_secured_frames_test.cpp reader/internal_protocol_events_test.cpp
          reader/internal_log_lines_test.cpp reader/internal_frame_exports_test.cpp
  RUNTIME_DEPS ${vkkrn_real_ports})
target_link_libraries(vkkrn_internal_frame_tests PRIVATE vkkrn_fake_cipher vkkrn_frame_oracle)
vkkrn_internal_test(vkkrn_internal_frame_thread_tests
  SOURCES reader/internal_frame_threads_test.cpp
  LABELS threads
  RUNTIME_DEPS ${vkkrn_real_ports})
target_link_libraries(vkkrn_internal_frame_thread_tests PRIVATE vkkrn_frame_oracle)
vkkrn_internal_test(vkkrn_internal_log_no_ports_tests
  SOURCES reader/internal_log_no_ports_test.cpp
  ENV "LD_LIBRARY_PATH=${VKKRN_NO_PORTS_DIR}")
vkkrn_internal_test(vkkrn_internal_log_port_fakes_tests
  SOURCES reader/internal_log_port_fakes_test.cpp
  ENV "LD_LIBRARY_PATH=${fakes}/fake_usb:${fakes}/fake_tcp:${lib}"
  RUNTIME_DEPS vkkrn_fake_usb vkkrn_fake_tcp)
vk_add_gtest(vkkrn_fake_keystream_tests
  SOURCES security/fake_keystream_test.cpp
  LIBS vkkrn_fake_keystream)
target_include_directories(vkkrn_fake_keystream_tests PRIVATE ${PROJECT_SOURCE_DIR}/sim/krn/include)
