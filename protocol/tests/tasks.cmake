# Tests of the worker threads: asynchronous tasks and scan mode.

# Through the exports of the deliverable, against the simulated reader.
vk_add_gtest(vkkrn_tasks_api_tests
  SOURCES tasks/api_tasks_test.cpp tasks/api_scan_test.cpp
  LIBS vkkrn vkkrn_test_support simkrn vktcp_headers
  LABELS threads
  RUNTIME_DEPS vkcom vktcp)

# Through the library's objects: scripted receives on a plug-in reader, the
# authenticated channel with the fake cipher, failing thread starts, the port
# test on table lines.
vkkrn_internal_test(vkkrn_internal_tasks_tests
  SOURCES tasks/internal_tasks_test.cpp
  LABELS threads)
target_link_libraries(vkkrn_internal_tasks_tests PRIVATE vkkrn_fake_cipher simkrn_core)

# A program that exits with worker threads running (started by the API tests).
add_executable(vkkrn_task_exit_child tasks/task_exit_child.cpp)
target_link_libraries(vkkrn_task_exit_child PRIVATE vkkrn vktcp_headers ${CMAKE_DL_LIBS})
add_dependencies(vkkrn_tasks_api_tests vkkrn_task_exit_child)
target_compile_definitions(vkkrn_tasks_api_tests PRIVATE
  VKKRN_TASK_EXIT_CHILD="$<TARGET_FILE:vkkrn_task_exit_child>")

# The reply reader on USB readers, against the recording stand-in libvkusb.
vkkrn_internal_test(vkkrn_internal_usb_tasks_tests
  SOURCES tasks/internal_usb_tasks_test.cpp
  ENV "LD_LIBRARY_PATH=${fakes}/fake_usb_transfer:${lib}"
  LABELS threads
  RUNTIME_DEPS vkkrn_fake_usb_transfer)
target_link_libraries(vkkrn_internal_usb_tasks_tests PRIVATE simkrn_core)
