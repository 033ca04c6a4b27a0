# VCD export of long waveforms against writing the same bytes with fwrite.
find_package(Boost 1.74 QUIET)
if(TARGET Zorbel_dll AND TARGET Boost::headers)
  vk_add_benchmark(bench_waveform_vcd SOURCES ${CMAKE_CURRENT_LIST_DIR}/waveform_vcd_bench.cpp
                   LIBS Zorbel_dll zrb_internal Boost::headers)
endif()
