# Tests of the transceive engine, the transparent exchange, the built-in port
# plug-ins and the event handlers.

# Through the exports of the deliverable, against the simulated reader.
vk_add_gtest(vkkrn_exchange_api_tests
  SOURCES exchange/api_exchange_test.cpp reader/api_events_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  RUNTIME_DEPS vkcom vktcp)

# Through the library's objects: the engine on an in-process plug-in reaching the
# simulated reader, the secured wrap with the fake cipher.
vkkrn_internal_test(vkkrn_internal_engine_tests SOURCES reader/internal_engine_test.cpp)
target_link_libraries(vkkrn_internal_engine_tests PRIVATE vkkrn_fake_cipher simkrn_core)

# The USB plug-ins against a stand-in libvkusb that records its transfers.
vkkrn_fake_port_library(vkkrn_fake_usb_transfer vkusb fake_usb_transfer fakes/fake_usb_transfer.cpp)
target_include_directories(vkkrn_fake_usb_transfer PRIVATE ${PROJECT_SOURCE_DIR}/ports/usb/include)
vkkrn_internal_test(vkkrn_internal_usb_exchange_tests
  SOURCES exchange/internal_usb_exchange_test.cpp
  ENV "LD_LIBRARY_PATH=${fakes}/fake_usb_transfer:${lib}"
  RUNTIME_DEPS vkkrn_fake_usb_transfer)

# Java handlers, called from a real virtual machine (the recorder class is
# compiled with javac here).
find_package(Java 17 REQUIRED COMPONENTS Development)
include(UseJava)
vk_add_jvm_gtest(vkkrn_jvm_events_tests
  SOURCES reader/jvm_events_test.cpp
  JAVA_SOURCES java/vkkrntest/EventRecorder.java
  LIBS vkkrn_objects vkkrn_test_support simkrn_core)

# Threads: exchanges of several threads on one reader, handlers removed while
# another thread exchanges, disconnections racing secured exchanges.
vk_add_gtest(vkkrn_exchange_thread_tests
  SOURCES exchange/thread_exchange_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  LABELS threads
  RUNTIME_DEPS vktcp)
vkkrn_internal_test(vkkrn_internal_tcp_secured_tests
  SOURCES exchange/internal_tcp_secured_test.cpp
  LABELS threads
  RUNTIME_DEPS vktcp)
target_link_libraries(vkkrn_internal_tcp_secured_tests PRIVATE vkkrn_fake_cipher simkrn vktcp_headers)

# No allocation per exchange (a program of its own: it counts operator new).
vkkrn_internal_test(vkkrn_internal_allocation_tests SOURCES exchange/internal_allocation_test.cpp)
vk_count_allocations(vkkrn_internal_allocation_tests)

# A serial port library that lacks VIZER_Transceive and the other transfers.
vkkrn_internal_test(vkkrn_internal_missing_transfer_tests
  SOURCES exchange/internal_missing_transfer_test.cpp
  ENV "LD_LIBRARY_PATH=${fakes}/fake_com:${VKKRN_NO_PORTS_DIR}"
  RUNTIME_DEPS vkkrn_fake_com)
