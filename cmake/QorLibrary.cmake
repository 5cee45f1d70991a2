# The system's shared libraries, all built and installed one way:
#
#   qor_add_library(<name> VERSION x.y.z SOVERSION n SOURCES ... PUBLIC_HEADERS ... EXPORT_PATTERNS ...
#                   [INCLUDES ...] [LINKS ...])
#
# makes
#   <name>           lib<name>.so.<SOVERSION>: hidden visibility, only the EXPORT_PATTERNS leave it (a version script),
#                    its own calls bound inside it (-Bsymbolic-functions; data stays interposable for copy relocations)
#   <name>_internal  the same objects as a static library with every symbol, for unit tests of the internals;
#                    INCLUDES (the library's private include directories) come with it
#   <name>_headers   the public headers alone; every library's headers build on qor_api_headers
#   <name>_header_check  one C and one C++ translation unit per public header, so each compiles on its own
# and installs the library, its headers (include/qor_api), a pkg-config module <name> and the targets
# QorApi::<name> and QorApi::<name>_headers of the CMake package QorApi.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QOR_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/qor_api)
set(QOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/QorApi)
set(QOR_LIBRARY_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/library)

function(qor_add_library name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "VERSION;SOVERSION"
                        "SOURCES;PUBLIC_HEADERS;EXPORT_PATTERNS;INCLUDES;LINKS")
  foreach(required VERSION SOVERSION SOURCES PUBLIC_HEADERS EXPORT_PATTERNS)
    if(NOT ARG_${required})
      message(FATAL_ERROR "qor_add_library(${name}): ${required} is missing")
    endif()
  endforeach()
  list(TRANSFORM ARG_PUBLIC_HEADERS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")

  add_library(${name}_headers INTERFACE)
  foreach(header IN LISTS ARG_PUBLIC_HEADERS)
    get_filename_component(directory ${header} DIRECTORY)
    target_include_directories(${name}_headers INTERFACE $<BUILD_INTERFACE:${directory}>)
  endforeach()
  target_include_directories(${name}_headers INTERFACE $<INSTALL_INTERFACE:${QOR_INSTALL_INCLUDEDIR}>)
  if(name STREQUAL "qor_api")
    target_link_libraries(${name}_headers INTERFACE Threads::Threads) # the headers declare pthread types
  else()
    target_link_libraries(${name}_headers INTERFACE qor_api_headers)
  endif()

  add_library(${name}_internal STATIC ${ARG_SOURCES})
  target_include_directories(${name}_internal PUBLIC ${ARG_INCLUDES})
  target_link_libraries(${name}_internal PUBLIC ${name}_headers ${ARG_LINKS})

  # The internal library's objects, once compiled; linking the archive as well adds only its dependencies.
  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_internal>)
  target_link_libraries(${name} PUBLIC ${name}_headers PRIVATE ${name}_internal)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  list(JOIN ARG_EXPORT_PATTERNS ";\n    " globals)
  file(CONFIGURE OUTPUT ${script} CONTENT "{\n  global:\n    ${globals};\n  local:\n    *;\n};\n")
  set_target_properties(${name} PROPERTIES VERSION ${ARG_VERSION} SOVERSION ${ARG_SOVERSION} LINKER_LANGUAGE CXX
                                           LINK_DEPENDS ${script})
  # --no-undefined comes with every shared library (QorCompileOptions.cmake).
  target_link_options(${name} PRIVATE LINKER:--version-script=${script} LINKER:-Bsymbolic-functions)

  set(checks)
  foreach(header IN LISTS ARG_PUBLIC_HEADERS)
    get_filename_component(file ${header} NAME)
    get_filename_component(stem ${header} NAME_WE)
    foreach(extension c cpp)
      set(check ${CMAKE_CURRENT_BINARY_DIR}/${name}_header_check/${stem}.${extension})
      file(CONFIGURE OUTPUT ${check} CONTENT "#include \"${file}\"\n")
      list(APPEND checks ${check})
    endforeach()
  endforeach()
  add_library(${name}_header_check OBJECT ${checks})
  target_link_libraries(${name}_header_check PRIVATE ${name}_headers)

  if(QOR_BUILD_TESTS)
    add_test(NAME ${name}.exported_symbols
             COMMAND ${PROJECT_SOURCE_DIR}/tests/symbols/check_library_symbols $<TARGET_FILE:${name}>)
    set_tests_properties(${name}.exported_symbols PROPERTIES LABELS unit)
  endif()

  install(TARGETS ${name} ${name}_headers EXPORT QorApiTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${ARG_PUBLIC_HEADERS} DESTINATION ${QOR_INSTALL_INCLUDEDIR})
  # The prefix relative to the module's own folder: the installed tree may be moved.
  file(RELATIVE_PATH QOR_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" QOR_PC_PREFIX ${QOR_PC_PREFIX})
  set(QOR_PC_NAME ${name})
  set(QOR_PC_VERSION ${ARG_VERSION})
  configure_file(${QOR_LIBRARY_TEMPLATES}/library.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# The CMake package QorApi: every library that qor_add_library made, as QorApi::<name>.
configure_package_config_file(${QOR_LIBRARY_TEMPLATES}/QorApiConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/QorApiConfig.cmake INSTALL_DESTINATION ${QOR_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QorApiConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QorApiConfig.cmake ${CMAKE_BINARY_DIR}/QorApiConfigVersion.cmake
        DESTINATION ${QOR_INSTALL_CMAKEDIR})
install(EXPORT QorApiTargets NAMESPACE QorApi:: DESTINATION ${QOR_INSTALL_CMAKEDIR})
