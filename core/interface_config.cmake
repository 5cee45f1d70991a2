# The interface configuration file: its tests, and the units that the XML library shares with the core.

# How a listed interface is known. The XML library links it too: it writes the identifiers that the core looks up.
add_library(qor_interface_identity STATIC shared/interface_identity.cpp)
target_include_directories(qor_interface_identity PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/shared)
target_link_libraries(qor_interface_identity PUBLIC qor_api_headers)

if(QOR_BUILD_TESTS)
  find_package(pugixml REQUIRED) # the tests read the files back on their own
  # Qor_Interface_UpdateAllInterfaces and the rebuild of the file's list, on the interface enumeration's
  # qor::client::connectedInterfaces: the test links them with lists of its own that take the place of the library's.
  add_library(qor_interface_rebuild OBJECT src/config_file/interface_list_rebuild.cpp
                                           src/config_file/update_all_interfaces.cpp)
  target_include_directories(qor_interface_rebuild PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(qor_interface_rebuild PUBLIC qor_xml qor_interface_identity)
  qor_add_sandboxed_test(qor_interface_config_test
    SOURCES tests/interface_config_test.cpp tests/interface_rebuild_test.cpp tests/made_up_interfaces.cpp
    LIBS qor_api qor_interface_rebuild qor_xml pugixml::pugixml)
  target_include_directories(qor_interface_config_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
                                                               ${CMAKE_CURRENT_SOURCE_DIR}/shared
                                                               ${CMAKE_CURRENT_SOURCE_DIR}/tests)

  # The bus set-up: its records and value checks as units, and what the appliers send at open.
  qor_add_unit_test(qor_bus_records_test SOURCES tests/bus_records_test.cpp LIBS qor_api_internal)
  qor_add_sandboxed_test(qor_bus_configuration_test SOURCES tests/bus_configuration_test.cpp LIBS qor_api)
  target_include_directories(qor_bus_configuration_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/shared)
  qor_add_end_to_end_test(qor_automatic_configuration_road_test
    SOURCES tests/end_to_end/automatic_configuration_road_test.cpp LIBS pugixml::pugixml)
  target_include_directories(qor_automatic_configuration_road_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
endif()
