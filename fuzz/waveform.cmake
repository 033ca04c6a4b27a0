# The element-text reader of the waveform code, with every form written from
# what it reads.
if(TARGET zrb_waveform)
  vk_add_fuzzer(fuzz_waveform_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/waveform_text_fuzz.cpp
                LIBS zrb_waveform zrb_session)
endif()
