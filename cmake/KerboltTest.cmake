# kerbolt_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [GUI])
# Builds one GoogleTest binary and registers its tests with CTest.
# GUI tests run on the offscreen platform so that no display is needed.
include(GoogleTest)

function(kerbolt_add_test)
  cmake_parse_arguments(ARG "GUI" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${ARG_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${ARG_NAME} PRIVATE KERBOLT_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  set(env "")
  if(ARG_GUI)
    set(env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 300 ENVIRONMENT "${env}")
endfunction()
