# VKKRN_SendTransparent round trips against raw exchanges of the same bytes with
# the same simulated reader: loopback TCP (libvktcp) and a pseudo-terminal (libvkcom).
if(TARGET vkkrn AND TARGET vktcp AND TARGET vkcom AND TARGET simkrn)
  vk_add_benchmark(bench_engine SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp
                   LIBS vkkrn vktcp vktcp_headers vkcom simkrn RUNTIME_DEPS vkkrn vktcp vkcom)
endif()
