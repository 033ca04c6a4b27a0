# Input reports from an evaluation board, into the board driver.
vk_add_fuzzer(fuzz_board_reports SOURCES ${CMAKE_CURRENT_LIST_DIR}/board_reports_fuzz.cpp
              LIBS board_link_objects vkplatform_hid hidsim)
