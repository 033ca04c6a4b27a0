# Tests of the reader authentication and the authenticated channel.

# Through the exports of the deliverable, against the simulated reader with its
# own AES on loopback TCP and a pseudo-terminal; libcrypto opened for real.
vk_add_gtest(vkkrn_authent_api_tests
  SOURCES security/api_authent_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  RUNTIME_DEPS vkcom vktcp)

# The cipher object and the channel key through the library's objects, with
# OpenSSL's own AES-OFB linked as the oracle and the simulated reader's AES.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
vkkrn_internal_test(vkkrn_internal_cipher_tests SOURCES security/internal_cipher_test.cpp)
target_link_libraries(vkkrn_internal_cipher_tests PRIVATE OpenSSL::Crypto simkrn_core)

# libcrypto replaced: a stand-in "libcrypto.so" forwarding to libcrypto.so.3
# with failure controls, a variant lacking RAND_bytes, a directory where both
# names are no libraries, and one where only "libcrypto.so" is none.
vkkrn_fake_port_library(vkkrn_crypto_shim crypto crypto_shim fakes/crypto_shim.cpp)
vkkrn_fake_port_library(vkkrn_crypto_shim_norand crypto crypto_shim_norand fakes/crypto_shim.cpp)
target_compile_definitions(vkkrn_crypto_shim_norand PRIVATE WITHOUT_RAND_BYTES)
set(VKKRN_NO_CRYPTO_DIR ${CMAKE_CURRENT_BINARY_DIR}/no_crypto)
set(VKKRN_BAD_CRYPTO_DIR ${CMAKE_CURRENT_BINARY_DIR}/bad_crypto)
file(MAKE_DIRECTORY ${VKKRN_NO_CRYPTO_DIR} ${VKKRN_BAD_CRYPTO_DIR})
file(WRITE ${VKKRN_NO_CRYPTO_DIR}/libcrypto.so "not a library\n")
file(WRITE ${VKKRN_NO_CRYPTO_DIR}/libcrypto.so.3 "not a library\n")
file(WRITE ${VKKRN_BAD_CRYPTO_DIR}/libcrypto.so "not a library\n")
foreach(variant IN ITEMS shim norand none fallback)
  set(name vkkrn_internal_cipher_${variant}_tests)
  if(variant STREQUAL "shim")
    set(dir ${fakes}/crypto_shim)
    set(deps vkkrn_crypto_shim)
  elseif(variant STREQUAL "norand")
    set(dir ${fakes}/crypto_shim_norand)
    set(deps vkkrn_crypto_shim_norand)
  elseif(variant STREQUAL "none")
    set(dir ${VKKRN_NO_CRYPTO_DIR})
    set(deps "")
  else()
    set(dir ${VKKRN_BAD_CRYPTO_DIR})
    set(deps "")
  endif()
  vkkrn_internal_test(${name}
    SOURCES security/internal_cipher_library_test.cpp
    ENV "LD_LIBRARY_PATH=${dir}:${lib}"
    RUNTIME_DEPS vktcp ${deps})
  target_link_libraries(${name} PRIVATE simkrn vktcp_headers)
  string(TOUPPER ${variant} upper)
  target_compile_definitions(${name} PRIVATE CIPHER_LIBRARY_${upper})
endforeach()

# Threads: commands during handshakes, a disconnection during one, disconnections
# racing deletion and port changes; a program exiting with a live channel.
add_executable(vkkrn_authent_exit_child security/authent_exit_child.cpp)
target_link_libraries(vkkrn_authent_exit_child PRIVATE vkkrn vktcp_headers ${CMAKE_DL_LIBS})
vk_add_gtest(vkkrn_authent_thread_tests
  SOURCES security/thread_authent_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  LABELS threads
  RUNTIME_DEPS vktcp vkkrn_authent_exit_child)
target_compile_definitions(vkkrn_authent_thread_tests PRIVATE
  VKKRN_AUTHENT_EXIT_CHILD="$<TARGET_FILE:vkkrn_authent_exit_child>")

# Through the library's objects: a reader whose installed plug-in reaches the
# simulated reader in-process.
vkkrn_internal_test(vkkrn_internal_authent_plugin_tests SOURCES security/internal_authent_plugin_test.cpp)
target_link_libraries(vkkrn_internal_authent_plugin_tests PRIVATE simkrn_core)
