# Tests of the reader authentication and the authenticated channel.

# Through the exports of the deliverable, against the simulated reader with its
# own AES on loopback TCP and a pseudo-terminal; libcrypto opened for real.
vk_add_gtest(vkkrn_authent_api_tests
  SOURCES api_authent_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  RUNTIME_DEPS vkcom vktcp)
