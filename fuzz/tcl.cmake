# libvktcl: answer frames of any shape through the frame walk and the answer
# state machine (split by libvkkrn on a portless reader) into a response.
if(TARGET vktcl_objects)
  vk_add_fuzzer(fuzz_tcl_answers
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcl_answers_fuzz.cpp
    LIBS vktcl_objects)
endif()
