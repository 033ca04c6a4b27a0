# The instrument library's reply grammar and framing.
if(TARGET zrb_session)
  vk_add_fuzzer(fuzz_zrb_reply SOURCES ${CMAKE_CURRENT_LIST_DIR}/zrb_reply_fuzz.cpp LIBS zrb_session)
  vk_add_fuzzer(fuzz_zrb_framer SOURCES ${CMAKE_CURRENT_LIST_DIR}/zrb_framer_fuzz.cpp LIBS zrb_session)
endif()
