# How the reader library scales: with threads that each drive their own reader
# (readers_parallel), and with the number of readers open at once (readers_many).
if(TARGET vkkrn AND TARGET vktcp AND TARGET simkrn)
  vk_add_benchmark(readers_parallel SOURCES ${CMAKE_CURRENT_LIST_DIR}/readers_parallel_bench.cpp
                   LIBS vkkrn vktcp vktcp_headers simkrn RUNTIME_DEPS vkkrn vktcp)
  vk_add_benchmark(readers_many SOURCES ${CMAKE_CURRENT_LIST_DIR}/readers_many_bench.cpp
                   LIBS vkkrn vktcp vktcp_headers simkrn RUNTIME_DEPS vkkrn vktcp)
endif()
# The notification listener: a notification and its acknowledgement, plain and
# enciphered, against a raw loopback ping-pong of the same bytes.
if(TARGET vkkrn AND TARGET simkrn)
  vk_add_benchmark(bench_listener SOURCES ${CMAKE_CURRENT_LIST_DIR}/listener_bench.cpp
                   LIBS vkkrn simkrn RUNTIME_DEPS vkkrn)
endif()
