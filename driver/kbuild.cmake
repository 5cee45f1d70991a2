# Builds the Vortaq module in a copy of the driver directory (kbuild writes its objects beside the sources).
# -DSOURCE=<driver dir> -DBINARY=<work dir> -DHEADERS=<kernel headers tree>. Without the headers it says so and
# ends without failing; the test of the module counts that as skipped.
if(NOT EXISTS "${HEADERS}/Makefile")
  message("Vortaq module not built: no kernel headers at '${HEADERS}' (install linux-headers-amd64)")
  return()
endif()
file(REMOVE_RECURSE "${BINARY}")
file(MAKE_DIRECTORY "${BINARY}")
file(COPY "${SOURCE}/Kbuild" "${SOURCE}/include" "${SOURCE}/src" DESTINATION "${BINARY}")
execute_process(COMMAND make -C "${HEADERS}" M=${BINARY} W=1 modules
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
message("${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "kbuild failed")
endif()
# Modpost refuses symbols the licence may not use; the compiler's W=1 warnings fail the build here.
if(output MATCHES "warning:|WARNING:")
  message(FATAL_ERROR "kbuild reported warnings")
endif()
