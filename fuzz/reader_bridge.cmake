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

# The ISO 14443-A collect-all loop over a reader double whose answers (statuses,
# bytes, collision positions) come from the input.
if(TARGET kestoreader_objects AND TARGET hidsim AND TARGET rfsim)
  set(bridge_tests ${PROJECT_SOURCE_DIR}/reader_bridge/tests)
  vk_add_fuzzer(fuzz_reader_bridge_iso14443a
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/reader_bridge_iso14443a_fuzz.cpp ${bridge_tests}/fake_reader.cpp
                        ${bridge_tests}/scripted_reader.cpp
                LIBS kestoreader_objects hidsim rfsim)
  target_include_directories(fuzz_reader_bridge_iso14443a PRIVATE ${bridge_tests})
endif()

# Transceiver answers (result code, length byte, payload, trailing bytes) from
# the input, served by the simulated dongle through each transfer path of the
# dongle reader, the end of frame and the firmware inventory.
if(TARGET kestoreader_objects AND TARGET qm30sim)
  vk_add_fuzzer(fuzz_reader_bridge_qm30_answers SOURCES ${CMAKE_CURRENT_LIST_DIR}/reader_bridge_qm30_answers_fuzz.cpp
                LIBS kestoreader_objects qm30sim)
endif()
