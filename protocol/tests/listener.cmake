# Tests of the notification listener.

# One notification-listener connection without sockets, on a fake clock; the
# reader's side is the simulated reader's own handshake and AES.
vkkrn_internal_test(vkkrn_internal_listener_tests SOURCES listener/internal_listener_session_test.cpp)
target_link_libraries(vkkrn_internal_listener_tests PRIVATE simkrn_core)

# The notification listener through the exports, against the simulated reader
# notifying over loopback TCP and raw peers.
vk_add_gtest(vkkrn_listener_api_tests
  SOURCES listener/api_listener_test.cpp listener/api_listener_hostile_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn
  LABELS threads)
vk_count_allocations(vkkrn_listener_api_tests)

# The listener's protocol lines to a Java text handler from a real virtual
# machine (the recorder class is the event tests').
find_package(Java 17 REQUIRED COMPONENTS Development)
include(UseJava)
vk_add_jvm_gtest(vkkrn_jvm_listener_tests
  SOURCES listener/jvm_listener_test.cpp
  JAVA_SOURCES java/vkkrntest/EventRecorder.java
  LIBS vkkrn_objects vkkrn_test_support simkrn)
