# tabulor_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [QT])
# One GoogleTest executable; its cases are registered with CTest one by one.
include(GoogleTest)

function(tabulor_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT T_QT)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    TABULOR_SHARED_DIR="${TABULOR_SHARED_DIR}"
    TABULOR_BUILD_DIR="${CMAKE_BINARY_DIR}"
    TABULOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Parameterised cases keep the names their suites give them, not a print of the parameter.
  gtest_discover_tests(${name}
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TABULOR_SHARED_DIR=${TABULOR_SHARED_DIR};TABULOR_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()
