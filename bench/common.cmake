vk_add_benchmark(bench_param_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/param_text_bench.cpp LIBS vkcommon)
