# Input reports from an evaluation board, into the board driver.
vk_add_fuzzer(fuzz_board_reports SOURCES ${CMAKE_CURRENT_LIST_DIR}/board_reports_fuzz.cpp
              LIBS board_link_objects vkplatform_hid hidsim)

# Board answers of any status and length into the board operations, over the
# core and the simulated hidapi with the board model behind it.
vk_add_fuzzer(fuzz_board_answers SOURCES ${CMAKE_CURRENT_LIST_DIR}/board_answers_fuzz.cpp
              LIBS board_link_exports KX20EVALOComm_variant board_link_objects vkplatform_hid boardsim hidsim)
