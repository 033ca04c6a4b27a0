# Tests of the transceive engine, the transparent exchange, the built-in port
# plug-ins and the event handlers.

# Through the exports of the deliverable, against the simulated reader.
vk_add_gtest(vkkrn_exchange_api_tests
  SOURCES api_exchange_test.cpp api_events_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  RUNTIME_DEPS vkcom vktcp)
