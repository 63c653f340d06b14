# The fuzz targets, one per reader of bytes from outside the program. Each is a CTest test that runs
# for QUARN_FUZZ_SECONDS from its seeds; new inputs collect in <build>/fuzz/<name>/corpus, and a
# failing input is written to <build>/fuzz/<name>/crash-*; keep one as a case in the unit tests.
enable_testing()
add_custom_target(quarn_fuzz_targets)

# quarn_add_fuzz(NAME SOURCE file.cpp LIBS lib... SEEDS file...)
function(quarn_add_fuzz name)
  cmake_parse_arguments(F "" "SOURCE" "LIBS;SEEDS" ${ARGN})
  foreach(lib ${F_LIBS})
    if(NOT TARGET ${lib})
      message(STATUS "Fuzz target ${name} left out: ${lib} is not in QUARN_DIRS")
      return()
    endif()
  endforeach()
  add_executable(${name} ${F_SOURCE})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz/bin)
  add_dependencies(quarn_fuzz_targets ${name})

  set(work ${CMAKE_BINARY_DIR}/fuzz/${name})
  file(MAKE_DIRECTORY ${work}/corpus ${work}/seeds)
  foreach(seed ${F_SEEDS})
    file(COPY ${seed} DESTINATION ${work}/seeds)
  endforeach()
  add_test(NAME fuzz.${name}
           COMMAND ${name} -max_total_time=${QUARN_FUZZ_SECONDS} -max_len=4096 -print_final_stats=1
                   -artifact_prefix=${work}/crash- ${work}/corpus ${work}/seeds)
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300)
endfunction()

set(seeds ${PROJECT_SOURCE_DIR}/cmake/fuzz-seeds)
quarn_add_fuzz(CriteriaFuzz SOURCE ${PROJECT_SOURCE_DIR}/config/fuzz/CriteriaFuzz.cpp LIBS quarn_config
               SEEDS ${PROJECT_SOURCE_DIR}/config/criteria.ini)
quarn_add_fuzz(CodecDecodeFuzz SOURCE ${PROJECT_SOURCE_DIR}/config/fuzz/CodecDecodeFuzz.cpp LIBS quarn_config
               SEEDS ${seeds}/codec-value)
quarn_add_fuzz(SettingsFileFuzz SOURCE ${PROJECT_SOURCE_DIR}/config/fuzz/SettingsFileFuzz.cpp LIBS quarn_config
               SEEDS ${seeds}/settings-record)
quarn_add_fuzz(FrameParserFuzz SOURCE ${PROJECT_SOURCE_DIR}/link/fuzz/FrameParserFuzz.cpp LIBS quarn_link
               SEEDS ${seeds}/frames)
quarn_add_fuzz(CommandListFuzz SOURCE ${PROJECT_SOURCE_DIR}/console/fuzz/CommandListFuzz.cpp LIBS quarn_console
               SEEDS ${PROJECT_SOURCE_DIR}/console/commands.ini)
quarn_add_fuzz(DataFileReaderFuzz SOURCE ${PROJECT_SOURCE_DIR}/datafile/fuzz/DataFileReaderFuzz.cpp
               LIBS quarn_datafile SEEDS ${seeds}/datafile ${seeds}/datafile-month-names)
