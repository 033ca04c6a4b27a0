# libvkfu: the answer check over any reader status, answer bytes and shape.
vk_add_fuzzer(fuzz_vkfu_answer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fu_answer_fuzz.cpp
  LIBS vkfu_answer)
