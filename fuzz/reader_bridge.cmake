# libkestoreader: input reports from the dongle (queued raw through the
# simulated hidapi) into the select, send-and-receive (one report and chunked)
# and revision commands; and the hex-text reader over any text.
if(TARGET kestoreader_objects AND TARGET hidsim)
  vk_add_fuzzer(fuzz_reader_bridge_reports SOURCES ${CMAKE_CURRENT_LIST_DIR}/reader_bridge_reports_fuzz.cpp
                LIBS kestoreader_objects hidsim)
endif()
vk_add_fuzzer(fuzz_reader_bridge_hex SOURCES ${CMAKE_CURRENT_LIST_DIR}/reader_bridge_hex_fuzz.cpp
                                             ${PROJECT_SOURCE_DIR}/reader_bridge/src/utils.cpp
              LIBS vkcommon)
target_include_directories(fuzz_reader_bridge_hex PRIVATE ${PROJECT_SOURCE_DIR}/reader_bridge/src)
