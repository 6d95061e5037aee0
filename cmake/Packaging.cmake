# The archive an administrator unpacks into the game server's folder:
#   ArkApi/Plugins/SkyCrateHerald/SkyCrateHerald.dll
#   ArkApi/Plugins/SkyCrateHerald/config.json   (the example configuration)
#   ArkApi/Plugins/SkyCrateHerald/INSTALL.txt
# Made by `cpack` in a Windows build; the native build packages nothing.
if(NOT WIN32)
  return()
endif()

set(HERALD_PLUGIN_FOLDER ArkApi/Plugins/SkyCrateHerald)

set(HERALD_EXAMPLE_CONFIG ${PROJECT_SOURCE_DIR}/examples/config.json)

# Servers get the library without its debug information; the build tree keeps
# the full one for debugging.
set(HERALD_PACKAGED_PLUGIN ${CMAKE_BINARY_DIR}/package/SkyCrateHerald.dll)
add_custom_command(
  OUTPUT ${HERALD_PACKAGED_PLUGIN}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${CMAKE_STRIP} --strip-debug -o ${HERALD_PACKAGED_PLUGIN} $<TARGET_FILE:SkyCrateHerald>
  DEPENDS SkyCrateHerald
  COMMENT "Stripping the packaged plugin library")
add_custom_target(SkyCrateHeraldPackaged ALL DEPENDS ${HERALD_PACKAGED_PLUGIN})

install(FILES ${HERALD_PACKAGED_PLUGIN} DESTINATION ${HERALD_PLUGIN_FOLDER} COMPONENT plugin)
install(FILES ${HERALD_EXAMPLE_CONFIG} DESTINATION ${HERALD_PLUGIN_FOLDER} COMPONENT plugin)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt DESTINATION ${HERALD_PLUGIN_FOLDER} COMPONENT plugin)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME SkyCrateHerald)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME SkyCrateHerald-${PROJECT_VERSION}-win64)
# The archive's top level is the server's folder itself.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENTS_ALL plugin)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
