# libvkcom: length-field completion of a reply, as the pure step the port runs.
if(TARGET vkcom_core)
  vk_add_fuzzer(fuzz_serial_length_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_length_frame_fuzz.cpp
                LIBS vkcom_core)
  target_include_directories(fuzz_serial_length_frame PRIVATE ${PROJECT_SOURCE_DIR}/ports/serial/src)
endif()
