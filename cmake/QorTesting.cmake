# Test helpers. Unit tests that touch no fixed path run as they are; every test that touches "/Qor_API",
# "/tmp/daemon.pid", "/etc/Qor_API_Linux.ini" or the system log runs each case in fresh namespaces made by
# qor_sandbox, so cases never collide and CTest runs them in parallel.
#
# Labels, for `ctest -L <label>`, one per test: unit (plain unit tests), sandboxed (each case in a sandbox of its own),
# end_to_end (sandboxed too: the library, the daemon as a process and emulated devices), install, fuzz.

# qor_add_unit_test(<name> SOURCES ... [LIBS ...])
function(qor_add_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${ARG_LIBS})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}." PROPERTIES TIMEOUT 120 LABELS unit)
endfunction()

# qor_add_sandboxed_test(<name> [END_TO_END] SOURCES ... [LIBS ...] [SANDBOX_ARGS ...])
# Each test case runs as `qor_sandbox SANDBOX_ARGS -- <test binary> --gtest_filter=<case>`. The sandbox keeps this
# build's source and build trees in sight at their paths (read-only), wherever the checkout lies, so test binaries,
# the programs they start and fixture files are found as CMake names them.
function(qor_add_sandboxed_test name)
  cmake_parse_arguments(ARG "END_TO_END" "" "SOURCES;LIBS;SANDBOX_ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock qor_test_support ${ARG_LIBS})
  add_dependencies(${name} qor_sandbox)
  set_target_properties(${name} PROPERTIES
    CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/bin/qor_sandbox;${ARG_SANDBOX_ARGS};--")
  set(label sandboxed)
  if(ARG_END_TO_END)
    set(label end_to_end)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}." PROPERTIES TIMEOUT 180 LABELS ${label})
endfunction()

# qor_add_end_to_end_test(<name> SOURCES ... [LIBS ...])
# A sandboxed test (label end_to_end) of a library's exported functions on the whole road: the library of the test
# process, the daemon qorapid as a process and devices emulated on loopback. It links qor_end_to_end_fixture
# (InterfaceFixture in "qor_test/interface_fixture.hpp"), which brings the library, the emulator, the core's shared
# headers, QORAPID_PROGRAM (the daemon's path) and the build of qorapid before the test's. LIBS: the library under
# test and what else the test needs.
function(qor_add_end_to_end_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  qor_add_sandboxed_test(${name} END_TO_END SOURCES ${ARG_SOURCES} LIBS qor_end_to_end_fixture ${ARG_LIBS})
endfunction()

# qor_find_pxi95xx_over_emulated_driver(<target>)
# The program's first load of libQorPxi95xx_API by name (its in-process daemon's) finds the card library over the
# emulated driver, which reaches the cards the program plays below Card95xx::kSandboxProcRoot; later loads by that name
# (the core library's) get the same copy by its SONAME. An RPATH, not a RUNPATH: it serves the program's loads and
# the sanitizer's dlopen calls from its own library.
function(qor_find_pxi95xx_over_emulated_driver target)
  set_property(TARGET ${target} APPEND PROPERTY BUILD_RPATH "$<TARGET_FILE_DIR:QorPxi95xx_API_over_emulated_driver>")
  target_link_options(${target} PRIVATE -Wl,--disable-new-dtags)
  add_dependencies(${target} QorPxi95xx_API_over_emulated_driver)
endfunction()
