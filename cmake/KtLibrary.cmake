# kt_sources(VAR DIR...) collects the .cpp files of the given folders.
function(kt_sources var)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*.cpp")
    list(APPEND all ${found})
  endforeach()
  list(SORT all)
  set(${var} ${all} PARENT_SCOPE)
endfunction()

# kt_test(NAME DIR LIBS...) builds one GoogleTest program from the .cpp files
# of a test folder and registers its tests with ctest.
function(kt_test name dir)
  kt_sources(srcs ${dir})
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       PROPERTIES TIMEOUT 300)
endfunction()

# kt_library(NAME DIR DEPS...) builds a static library from the .cpp files of
# a folder (an interface library while the folder has none yet).
function(kt_library name dir)
  kt_sources(srcs ${dir})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()
