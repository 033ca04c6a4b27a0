# libvkcom: a Transceive round trip against a raw pseudo-terminal echo.
if(TARGET vkcom AND TARGET vksim_pty)
  vk_add_benchmark(bench_serial SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_bench.cpp
                   LIBS vkcom vksim_pty RUNTIME_DEPS vkcom)
endif()
