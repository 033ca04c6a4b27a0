# libnubokrn4j: what the task result handlers make of reader bytes (inventory,
# notification, diagnostic, input-event, people-counter and response data) and
# the sender address text of the notification listener.
set(nubokrn4j_src ${PROJECT_SOURCE_DIR}/java_bridge/src)
vk_add_fuzzer(fuzz_nubokrn4j_results
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/nubokrn4j_results_fuzz.cpp ${nubokrn4j_src}/task_results.cpp
          ${nubokrn4j_src}/sender_address.cpp)
target_include_directories(fuzz_nubokrn4j_results PRIVATE ${nubokrn4j_src}
                                                          ${PROJECT_SOURCE_DIR}/java_bridge/tests)
