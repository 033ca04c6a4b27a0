# libvkkrn: the "vkkrn.ini" settings parser.
vk_add_fuzzer(fuzz_vkkrn_settings
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vkkrn_settings_fuzz.cpp
          ${PROJECT_SOURCE_DIR}/protocol/src/texts/settings_file.cpp
  LIBS vkcommon)
target_include_directories(fuzz_vkkrn_settings PRIVATE ${PROJECT_SOURCE_DIR}/protocol/src)

# libvkkrn: one notification-listener connection without sockets, plain and
# after a scripted handshake of the simulated reader.
if(TARGET vkkrn_objects)
  vk_add_fuzzer(fuzz_vkkrn_listener
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vkkrn_listener_fuzz.cpp
    LIBS vkkrn_objects simkrn_core)
endif()
