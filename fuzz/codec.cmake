# Frames from readers and callers through the split and convert exports, in
# both frame modes, as bytes and hex text, with and without the fake cipher.
if(TARGET vkkrn_objects)
  vk_add_fuzzer(fuzz_vkkrn_frames
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vkkrn_frames_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/protocol/tests/support/fake_cipher.cpp
    LIBS vkkrn_objects)
  target_include_directories(fuzz_vkkrn_frames PRIVATE ${PROJECT_SOURCE_DIR}/protocol/tests/support)
endif()
