# The standard library and Qt headers most files include are compiled once as a precompiled
# header, and shared by the targets whose flags and macros are the same: the libraries from
# kiruvo_foundation_core up, the application and the benchmarks reuse kiruvo_precompiled's, every
# test program reuses kiruvo_test_support's. A header precompiled under other macros is refused by
# clang and warned of by GCC, so kiruvo_platform and its stand-ins (fewer Qt modules, the X11
# libraries' own macros) make their own.
# (-DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON builds without them, to check that each file includes
# what it uses.)
#   kiruvo_precompile(target HEADER header)  makes the target's own
#   kiruvo_precompile(target FROM host)      reuses the host's
function(kiruvo_precompile target)
  cmake_parse_arguments(ARG "" "HEADER;FROM" "" ${ARGN})
  if(ARG_FROM)
    target_precompile_headers(${target} REUSE_FROM ${ARG_FROM})
  else()
    # C++ only: a target with C files, such as the tests' protocol glue, would get a C header too.
    target_precompile_headers(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${ARG_HEADER}>)
  endif()
endfunction()

# Every source folder is one library target whose sources are the files in it
# (and in the sub-folders listed under RECURSE, but for those under EXCLUDE), so adding a file needs
# no edit here. PRIVATE_DEPS are the libraries only its own files use: their headers and flags stay
# off the command lines of the targets above it.
function(kiruvo_add_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;RECURSE;EXCLUDE;DEPS;PRIVATE_DEPS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB found CONFIGURE_DEPENDS
      ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
    list(APPEND sources ${found})
  endforeach()
  foreach(dir IN LISTS ARG_RECURSE)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
      ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
    list(APPEND sources ${found})
  endforeach()
  foreach(dir IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${dir}/")
  endforeach()
  set(has_cpp FALSE)
  foreach(s IN LISTS sources)
    if(s MATCHES "\\.cpp$")
      set(has_cpp TRUE)
    endif()
  endforeach()
  if(has_cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    if(TARGET kiruvo_precompiled)
      kiruvo_precompile(${name} FROM kiruvo_precompiled)
    else()
      kiruvo_precompile(${name} HEADER ${PROJECT_SOURCE_DIR}/cmake/Precompiled.h)
    endif()
  else()
    add_library(${name} INTERFACE ${sources})
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One GoogleTest executable per tested library folder (tests/<dir>/**/*.cpp -> <name>_tests), so a
# change to one library relinks a handful of programs. Each test case still runs as its own process
# (discovered before it runs), with the offscreen Qt platform, an in-memory store and temporary XDG
# folders made by the test launcher.
function(kiruvo_add_test_folder name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target ${name}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE kiruvo_test_support ${ARG_DEPS})
  kiruvo_precompile(${target} FROM kiruvo_test_support)
  # Compiled eight files at a time: each file's own compile was mostly reading the precompiled
  # header and the project's headers and writing out the same inline functions again, and the test
  # build took most of CI's CPU time. Names a test file keeps to itself must therefore differ from
  # those of its neighbours. GCC takes a fixture in an anonymous namespace, included from the
  # batch's file, for one a header gives other files.
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
  # Not position-independent: under the sanitizers a test program otherwise carries a relocation
  # for every pointer in its data, a third of its size, which the dynamic loader applies at the start
  # of each of the thousands of test processes, and which KWin reads whenever the program connects
  # to it, hashing the executable.
  target_link_options(${target} PRIVATE -no-pie)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    # One variable only: a list here would reach the tests as separate properties. The test
    # launcher sets the store, the locale and the user folders itself.
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               TIMEOUT 120)
endfunction()
