# The USB port library's configuration file is read from outside.
vk_add_fuzzer(fuzz_usb_config SOURCES ${CMAKE_CURRENT_LIST_DIR}/usb_config_fuzz.cpp
                                      ${PROJECT_SOURCE_DIR}/ports/usb/src/config_file.cpp
              LIBS vkcommon)
target_include_directories(fuzz_usb_config PRIVATE ${PROJECT_SOURCE_DIR}/ports/usb/src)
