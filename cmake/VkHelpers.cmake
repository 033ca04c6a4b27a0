# Helpers every library of the tree uses for its targets, tests, benchmarks and
# fuzz targets. Keep the rules here so that each directory states only what is
# its own. In a build of the libraries alone (BUILD_TESTING off) the test,
# benchmark and fuzz helpers add nothing.

include(GoogleTest)
set(VK_HELPERS_DIR ${CMAKE_CURRENT_LIST_DIR})

# Environment of every test: libraries loaded by file name come from the build's
# library directory, never from an absolute path.
set(VK_TEST_ENV "LD_LIBRARY_PATH=${VK_LIBRARY_DIR}")
# What sets a test program's environment and starts it: the system's env, which
# starts in a millisecond where `cmake -E env` takes ten, once per test case.
find_program(VK_ENV_PROGRAM env REQUIRED)

# Each step of scripts/test builds only what it runs, through one of these.
# Threaded tests are built by this target alone in the ThreadSanitizer preset.
add_custom_target(vk_threads_tests)
# Every fuzz target: the fuzz preset builds this target alone.
add_custom_target(vk_fuzz_targets)
# What the default preset's checks need (export lists, the installed kit, the
# corpus replays, the soak, the benchmarks): every library, program and jar of
# the tree but the test programs and what only they use. It is filled once the
# whole tree is read (vk_collect_default_checks below).
add_custom_target(vk_default_checks)

# vk_no_undefined(<target>)
# A shared library must resolve every symbol it uses at link time.
function(vk_no_undefined target)
  # clang links the sanitizer runtimes into executables only, so a sanitized
  # shared library has undefined runtime symbols until an executable loads it.
  if(NOT (CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND VK_SANITIZER))
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# vk_c_program_on_cxx_library(<target>)
# A C program linked with a library written in C++. Under clang's sanitizers the
# library's C++ checks (UBSan's dynamic type checks) call into the C++ part of
# the runtime, which clang links into an executable only when it links as C++.
function(vk_c_program_on_cxx_library target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND VK_SANITIZER)
    set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  endif()
endfunction()

# vk_count_allocations(<target>)
# Links the counting global allocation functions (vktesting_allocations) into a
# program. clang's ThreadSanitizer runtime brings an operator new of its own into
# a program linked as C++; linked by the C driver (the C++ libraries then come
# as CMake's implicit ones) the program keeps the counting one, whose malloc the
# runtime still sees.
function(vk_count_allocations target)
  target_link_libraries(${target} PRIVATE vktesting_allocations)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND VK_SANITIZER STREQUAL "thread")
    set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  endif()
endfunction()

# vk_shared_deliverable(<target> OUTPUT_NAME <name> [SOVERSION <n>] [VERSION <v>]
#                       [DESCRIPTION <text>] [REQUIRES <pkg-config module> ...]
#                       [INCLUDE_DIR <dir>] [HEADERS <path> ...])
# Gives a shared library its file name and soname. The unversioned link name is
# created beside it, because other libraries dlopen it by that name.
# It also installs the library: the file and both links into lib/, the public
# headers into include/ (by default everything under the directory's include/;
# HEADERS names files relative to INCLUDE_DIR instead), and a pkg-config file
# <name>.pc with the library's version and DESCRIPTION. REQUIRES names the
# pkg-config modules of libraries it links (Requires.private).
# The library finds the kit's other libraries beside itself (run path $ORIGIN),
# both those it links and those it opens by file name, so that a program linked
# with -Wl,-rpath, a prefix on the system path and java.library.path each work
# without LD_LIBRARY_PATH. LD_LIBRARY_PATH still comes first (tests put stand-ins
# there).
function(vk_shared_deliverable target)
  cmake_parse_arguments(ARG "" "OUTPUT_NAME;SOVERSION;VERSION;DESCRIPTION;INCLUDE_DIR" "REQUIRES;HEADERS"
                        ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  if(ARG_SOVERSION)
    if(NOT ARG_VERSION)
      set(ARG_VERSION ${ARG_SOVERSION})
    endif()
    set_target_properties(${target} PROPERTIES SOVERSION ${ARG_SOVERSION} VERSION ${ARG_VERSION})
  endif()
  vk_no_undefined(${target})
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

  if(NOT ARG_INCLUDE_DIR)
    set(ARG_INCLUDE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  if(ARG_HEADERS)
    foreach(header IN LISTS ARG_HEADERS)
      get_filename_component(subdir ${header} DIRECTORY)
      install(FILES ${ARG_INCLUDE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${subdir})
    endforeach()
  elseif(EXISTS ${ARG_INCLUDE_DIR})
    install(DIRECTORY ${ARG_INCLUDE_DIR}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
            FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
  endif()

  # The pkg-config file finds the prefix from its own place, so the kit works
  # wherever it is installed (cmake --install --prefix ...).
  set(VK_PC_NAME ${ARG_OUTPUT_NAME})
  set(VK_PC_DESCRIPTION "${ARG_DESCRIPTION}")
  if(NOT VK_PC_DESCRIPTION)
    set(VK_PC_DESCRIPTION "lib${ARG_OUTPUT_NAME}")
  endif()
  set(VK_PC_VERSION ${ARG_VERSION})
  if(NOT VK_PC_VERSION)
    set(VK_PC_VERSION 0)
  endif()
  list(JOIN ARG_REQUIRES " " VK_PC_REQUIRES_PRIVATE)
  vk_install_pc(${ARG_OUTPUT_NAME} ${VK_HELPERS_DIR}/library.pc.in)
endfunction()

# vk_install_pc(<module> <template>)
# Configures <template> (@ONLY, with VK_PC_PREFIX set to the prefix as seen from
# the installed file) into <module>.pc and installs it into lib/pkgconfig.
function(vk_install_pc module template)
  set(pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH VK_PC_PREFIX /${pc_dir} /)
  string(REGEX REPLACE "/$" "" VK_PC_PREFIX "\${pcfiledir}/${VK_PC_PREFIX}")
  set(pc_file ${CMAKE_BINARY_DIR}/pkgconfig/${module}.pc)
  configure_file(${template} ${pc_file} @ONLY)
  install(FILES ${pc_file} DESTINATION ${pc_dir})
endfunction()

# vk_jar_deliverable(<add_jar target>)
# Installs a jar of Java classes into share/java, beside the libraries whose
# natives it declares (include(UseJava) first).
function(vk_jar_deliverable target)
  install_jar(${target} DESTINATION ${CMAKE_INSTALL_DATADIR}/java)
endfunction()

# vk_export_test(<target> <file with one expected symbol per line>)
# The dynamic symbol table of the built library must hold exactly these names.
function(vk_export_test target list_file)
  add_dependencies(vk_default_checks ${target})
  add_test(NAME exports_${target}
           COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}>
                   -DEXPECTED=${list_file} -P ${VK_HELPERS_DIR}/CheckExports.cmake)
  set_tests_properties(exports_${target} PROPERTIES LABELS exports)
endfunction()

# vk_exports(<target> <list file> [<list file> ...])
# The names in the list files (one per line, '#' starts a comment; mangled C++
# names as they stand) are the library's whole interface: a linker version
# script keeps every other symbol (template code from standard headers, sanitizer
# bookkeeping, common/ code) local, and the export test checks the result.
function(vk_exports target)
  set(names "")
  foreach(list_file IN LISTS ARGN)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
    file(STRINGS ${list_file} lines)
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "#.*" "" line "${line}")
      string(STRIP "${line}" line)
      if(NOT line STREQUAL "")
        list(APPEND names ${line})
      endif()
    endforeach()
  endforeach()
  set(export_list ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports)
  set(version_script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  list(JOIN names "\n" export_text)
  list(JOIN names ";\n    " global_text)
  file(CONFIGURE OUTPUT ${export_list} CONTENT "${export_text}\n")
  file(CONFIGURE OUTPUT ${version_script} CONTENT "{\n  global:\n    ${global_text};\n  local: *;\n};\n")
  target_link_options(${target} PRIVATE -Wl,--version-script=${version_script})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
  vk_export_test(${target} ${export_list})
endfunction()

# vk_add_tests(<directory> | <file>.cmake)
# A library's tests (a subdirectory, or a file included in place), left out of a
# build of the libraries alone.
macro(vk_add_tests path)
  if(BUILD_TESTING)
    if("${path}" MATCHES "[.]cmake$")
      include(${path})
    else()
      add_subdirectory(${path})
    endif()
  endif()
endmacro()

# vk_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...] [RUNTIME_DEPS ...] [TIMEOUT s]
#              [PROPERTIES <name> <value> ...])
# One GoogleTest program; every test case runs as its own ctest test (and its own
# process), with LD_LIBRARY_PATH on the build's library directory. RUNTIME_DEPS
# names libraries the program loads with dlopen. Label "threads" adds the program
# to the ThreadSanitizer run. PROPERTIES are further test properties for every
# test case (for example RESOURCE_LOCK).
function(vk_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;RUNTIME_DEPS;ENV;PROPERTIES" ${ARGN})
  if(VK_FUZZ OR NOT BUILD_TESTING)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES VK_TEST_ONLY TRUE)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        Threads::Threads ${CMAKE_DL_LIBS})
  if(ARG_RUNTIME_DEPS)
    add_dependencies(${name} ${ARG_RUNTIME_DEPS})
  endif()
  if("threads" IN_LIST ARG_LABELS)
    add_dependencies(vk_threads_tests ${name})
  endif()
  # The test environment travels as a launcher (env) rather than as the
  # ENVIRONMENT property, which test discovery cannot carry as a list. The
  # discovery run gets it too.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                        "${VK_ENV_PROGRAM};${VK_TEST_ENV};${ARG_ENV}")
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  list(APPEND properties ${ARG_PROPERTIES})
  # The cases are listed right after the program links, in the parallel build,
  # rather than one program after another when ctest starts.
  gtest_discover_tests(${name}
    DISCOVERY_MODE POST_BUILD
    DISCOVERY_TIMEOUT 30
    PROPERTIES ${properties})
endfunction()

# vk_add_benchmark(<name> SOURCES ... [LIBS ...] [RUNTIME_DEPS ...])
# A Google Benchmark program. A short smoke run is registered as a test with the
# label "bench" so that the suite proves it runs and prints its ratio. Timings
# under a sanitizer mean nothing: there the program is built only on request and
# registers no test.
function(vk_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;RUNTIME_DEPS" ${ARGN})
  if(VK_FUZZ OR NOT BUILD_TESTING OR NOT TARGET benchmark::benchmark)
    return()
  endif()
  if(VK_SANITIZER)
    add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
  else()
    add_executable(${name} ${ARG_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark Threads::Threads ${CMAKE_DL_LIBS})
  if(ARG_RUNTIME_DEPS)
    add_dependencies(${name} ${ARG_RUNTIME_DEPS})
  endif()
  if(VK_SANITIZER)
    return()
  endif()
  add_test(NAME bench_${name} COMMAND ${name} --benchmark_min_time=0.05)
  set_tests_properties(bench_${name} PROPERTIES LABELS bench ENVIRONMENT "${VK_TEST_ENV}" TIMEOUT 300)
endfunction()

# vk_add_fuzzer(<name> SOURCES ... [LIBS ...] [RUNTIME_DEPS ...])
# A libFuzzer target (LLVMFuzzerTestOneInput). In the fuzz preset it is linked
# with libFuzzer and run briefly from its corpus (label "fuzz"); in every other
# preset it is linked with a small driver that replays the corpus as a test.
set(VK_FUZZ_SECONDS 15 CACHE STRING "Seconds each fuzz target runs in the fuzz preset")
function(vk_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;RUNTIME_DEPS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads ${CMAKE_DL_LIBS})
  add_dependencies(vk_fuzz_targets ${name})
  if(ARG_RUNTIME_DEPS)
    add_dependencies(${name} ${ARG_RUNTIME_DEPS})
  endif()
  if(VK_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus_${name})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME fuzz_${name}
             COMMAND ${name} -max_total_time=${VK_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
                     ${work} ${corpus})
    set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz ENVIRONMENT "${VK_TEST_ENV}"
                                                 TIMEOUT 300)
  else()
    # The replay driver is compiled once for every target.
    if(NOT TARGET vk_fuzz_replay_main)
      add_library(vk_fuzz_replay_main OBJECT ${VK_HELPERS_DIR}/../fuzz/replay_main.cpp)
    endif()
    target_link_libraries(${name} PRIVATE vk_fuzz_replay_main)
    add_test(NAME replay_${name} COMMAND ${name} ${corpus})
    set_tests_properties(replay_${name} PROPERTIES LABELS replay ENVIRONMENT "${VK_TEST_ENV}")
  endif()
endfunction()

# vk_collect_default_checks()
# Called once the whole tree is read: vk_default_checks gets every executable,
# shared library and jar that the default build makes, except the test
# programs (vk_add_gtest) and what a tests/ directory defines for them alone.
function(vk_collect_default_checks)
  set(dirs ${PROJECT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    if(dir MATCHES "/tests(/|$)")
      continue()
    endif()
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      get_target_property(excluded ${target} EXCLUDE_FROM_ALL)
      get_target_property(test_only ${target} VK_TEST_ONLY)
      get_target_property(jar ${target} JAR_FILE)
      if(excluded OR test_only)
        continue()
      endif()
      if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$" OR (type STREQUAL "UTILITY" AND jar))
        add_dependencies(vk_default_checks ${target})
      endif()
    endforeach()
  endwhile()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL vk_collect_default_checks)
