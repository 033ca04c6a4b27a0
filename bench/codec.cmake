# The frame codec against its baselines: Boost's byte-table CRC and a bitwise CRC,
# and "copy the payload + Boost CRC" for building and splitting frames.
find_package(Boost QUIET)
if(TARGET vkkrn_codec AND TARGET vkkrn AND TARGET Boost::headers)
  vk_add_benchmark(bench_codec SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp
                   LIBS vkkrn_codec vkkrn Boost::headers)
  if(TARGET bench_codec)
    vk_count_allocations(bench_codec)
  endif()
endif()
