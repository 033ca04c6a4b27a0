# libvktcp: the connection-table line reader, and both reply framings over
# random bytes and buffer sizes fed through a socket pair.
if(TARGET vktcp_internal)
  vk_add_fuzzer(fuzz_tcp_connection_table SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_connection_table_fuzz.cpp
                LIBS vktcp_internal)
  vk_add_fuzzer(fuzz_tcp_framing SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_framing_fuzz.cpp LIBS vktcp_internal)
endif()
