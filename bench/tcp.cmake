# libvktcp's Transceive round trip against a raw send/recv ping-pong over the same
# loopback connection kind, measured in the same run.
if(TARGET vktcp AND TARGET vktcp_headers)
  vk_add_benchmark(bench_tcp SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_bench.cpp LIBS vktcp_headers vkcommon vktesting
                   RUNTIME_DEPS vktcp)
endif()
