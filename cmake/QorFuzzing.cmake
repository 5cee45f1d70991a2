# Fuzz targets: a source with the libFuzzer entry point
#   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
#
#   qor_add_fuzz_target(<name> SOURCES ... [LIBS ...] CORPUS <dir> [SANDBOXED])
#
# With clang the target is a libFuzzer program (-fsanitize=fuzzer). With g++ it links tests/fuzz/driver.cpp, which
# replays the corpus and then mutates it from a fixed seed. CTest runs each for QOR_FUZZ_SECONDS (label fuzz) under
# the build's sanitizers; SANDBOXED runs it in qor_sandbox, for targets that touch the system's fixed paths. Inputs
# that crash a target are kept in <build>/<dir of the call>/<name>_artifacts.
set(QOR_FUZZ_SECONDS 10 CACHE STRING "Seconds that CTest fuzzes each target")
set(QOR_FUZZ_DRIVER ${PROJECT_SOURCE_DIR}/tests/fuzz/driver.cpp)

function(qor_add_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "SANDBOXED" "CORPUS" "SOURCES;LIBS")
  get_filename_component(corpus ${ARG_CORPUS} ABSOLUTE)
  set(artifacts ${CMAKE_CURRENT_BINARY_DIR}/${name}_artifacts)
  file(MAKE_DIRECTORY ${artifacts})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # libFuzzer adds the inputs it finds to its first folder: one in the build tree, not the seed corpus.
    set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}_found)
    file(MAKE_DIRECTORY ${found})
    set(arguments -max_total_time=${QOR_FUZZ_SECONDS} -seed=1 -artifact_prefix=${artifacts}/ ${found} ${corpus})
  else()
    target_sources(${name} PRIVATE ${QOR_FUZZ_DRIVER})
    set(arguments --seconds ${QOR_FUZZ_SECONDS} --seed 1 --artifacts ${artifacts} ${corpus})
  endif()
  set(command $<TARGET_FILE:${name}> ${arguments})
  if(ARG_SANDBOXED)
    # As root: only root inside the sandbox writes to the build tree, where the crashing inputs go.
    set(command ${CMAKE_BINARY_DIR}/bin/qor_sandbox --root -- ${command})
    add_dependencies(${name} qor_sandbox)
  endif()
  add_test(NAME fuzz.${name} COMMAND ${command})
  math(EXPR timeout "${QOR_FUZZ_SECONDS} * 6 + 60")
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT ${timeout})
endfunction()
