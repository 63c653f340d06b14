# quarn_add_test(NAME SOURCES a.cpp b.cpp LIBS lib... [WIDGET_MAIN] [TIMEOUT s] [COST c])
# WIDGET_MAIN: widget tests; their main() creates the QApplication (cmake/WidgetTestMain.cpp).
# One GoogleTest executable, its cases registered with CTest one by one.
# Integration tests find the simulated sensor through QUARN_SIM_PATH.
include(GoogleTest)
function(quarn_add_test name)
  cmake_parse_arguments(T "WIDGET_MAIN" "TIMEOUT;COST" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} quarn_base_testing GTest::gtest GTest::gmock Threads::Threads)
  if(T_WIDGET_MAIN)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/WidgetTestMain.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(TARGET quarn-sensor-sim)
    add_dependencies(${name} quarn-sensor-sim)
    target_compile_definitions(${name} PRIVATE QUARN_SIM_PATH="$<TARGET_FILE:quarn-sensor-sim>")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # A fresh build folder has no record of how long tests take: a long one given a cost starts first instead
  # of running alone at the end.
  if(NOT T_COST)
    set(T_COST 0)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # One CTest entry per program: each start of an emulated program costs more than its cases together.
    # Wine keeps its state in the build folder, never in the user's home.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                         ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine;WINEDEBUG=-all")
    return()
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT} COST ${T_COST}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp;ASAN_OPTIONS=halt_on_error=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp;UBSAN_OPTIONS=halt_on_error=1 print_stacktrace=1")
endfunction()

# quarn_add_bench(NAME SOURCES a.cpp LIBS lib...): a Google Benchmark program in build/bench, not run by CTest.
function(quarn_add_bench name)
  if(NOT QUARN_BUILD_BENCH)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} quarn_base_testing benchmark::benchmark Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
