# libvkkrn: the "vkkrn.ini" settings parser.
vk_add_fuzzer(fuzz_vkkrn_settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vkkrn_settings_fuzz.cpp
          ${PROJECT_SOURCE_DIR}/protocol/src/settings_file.cpp
  LIBS vkcommon)
target_include_directories(fuzz_vkkrn_settings PRIVATE ${PROJECT_SOURCE_DIR}/protocol/src)
