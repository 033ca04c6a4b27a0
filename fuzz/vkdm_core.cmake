# libVkdmKrnCore: the configuration file reader, and the inventory and
# notification parsers that fill the tables from reader data.
set(vkdm_src ${PROJECT_SOURCE_DIR}/vkdm_core/src)
vk_add_fuzzer(fuzz_vkdm_config
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vkdm_config_fuzz.cpp ${vkdm_src}/config_file.cpp ${vkdm_src}/codes.cpp
          ${vkdm_src}/hex.cpp
  LIBS vkkrn_codec)
target_include_directories(fuzz_vkdm_config PRIVATE ${vkdm_src} ${PROJECT_SOURCE_DIR}/vkdm_core/include)
vk_add_fuzzer(fuzz_vkdm_tables
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vkdm_tables_fuzz.cpp ${vkdm_src}/tables.cpp ${vkdm_src}/codes.cpp
          ${vkdm_src}/hex.cpp
  LIBS vkkrn_codec)
target_include_directories(fuzz_vkdm_tables PRIVATE ${vkdm_src} ${PROJECT_SOURCE_DIR}/vkdm_core/include)
