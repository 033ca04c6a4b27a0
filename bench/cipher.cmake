# The channel cipher object against OpenSSL's AES-OFB of the same bytes.
find_package(OpenSSL QUIET COMPONENTS Crypto)
if(TARGET vkkrn_objects AND TARGET OpenSSL::Crypto)
  vk_add_benchmark(bench_cipher SOURCES ${CMAKE_CURRENT_LIST_DIR}/cipher_bench.cpp
                   LIBS vkkrn_objects OpenSSL::Crypto)
endif()
