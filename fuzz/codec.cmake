# The frame codec: splitting, converting and hex reading of outside frames.
vk_add_fuzzer(fuzz_codec SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_fuzz.cpp LIBS vkkrn_codec)
