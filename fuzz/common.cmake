vk_add_fuzzer(fuzz_param_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/param_text_fuzz.cpp LIBS vkcommon)
