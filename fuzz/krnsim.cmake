# The KRN reader simulator takes host bytes from anything that connects to it.
if(TARGET simkrn_core)
  vk_add_fuzzer(fuzz_krnsim SOURCES ${CMAKE_CURRENT_LIST_DIR}/krnsim_fuzz.cpp LIBS simkrn_core)
endif()
