# Tests of the waveform part. The exported functions are tested through the real
# libZorbel_dll.so; the internal forms other parts build on through their headers.
if(VK_FUZZ)
  return()
endif()

# Reader of the two VCD forms, for every test that checks a dump.
add_library(zrb_vcd_reader STATIC ${CMAKE_CURRENT_LIST_DIR}/vcd_reader.cpp)
target_include_directories(zrb_vcd_reader PUBLIC ${CMAKE_CURRENT_LIST_DIR})

vk_add_gtest(zrb_waveform_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/waveform_model_test.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/waveform_text_test.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/waveform_vcd_test.cpp
             LIBS Zorbel_dll zrb_internal zrb_vcd_reader vktesting zlog_capture)

vk_add_gtest(zrb_waveform_internal_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/waveform_internal_test.cpp
             LIBS zrb_waveform zrb_session)
