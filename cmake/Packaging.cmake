# Two archives, made by `cpack` in a Windows build (the native build packages
# nothing):
# - SkyCrateHerald-VERSION-win64.zip, laid out as the game server's folder:
#     ArkApi/Plugins/SkyCrateHerald/SkyCrateHerald.dll
#     ArkApi/Plugins/SkyCrateHerald/config.json         (the example configuration)
#     ArkApi/Plugins/SkyCrateHerald/config.schema.json
#     ArkApi/Plugins/SkyCrateHerald/INSTALL.txt
#     ArkApi/Plugins/SkyCrateHerald/LICENSE
#     ArkApi/Plugins/SkyCrateHerald/THIRD-PARTY-NOTICES.txt
# - SkyCrateHerald-tools-VERSION-win64.zip, for the admin's own machine:
#   herald.exe with the stand-in host and the plugin it loads beside it, the
#   examples, the schema and the admin's documents, LICENSE and
#   THIRD-PARTY-NOTICES.txt.
# Each archive's notices list the libraries its own files hold
# (ThirdPartyNotices.cmake).
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
install(FILES ${HERALD_EXAMPLE_CONFIG} ${PROJECT_SOURCE_DIR}/examples/config.schema.json
        DESTINATION ${HERALD_PLUGIN_FOLDER} COMPONENT plugin)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt DESTINATION ${HERALD_PLUGIN_FOLDER} COMPONENT plugin)

# MariaDB's client, loaded by the plugin from its own folder (and by herald
# from its own) for a store on a MariaDB server.
install(FILES ${HERALD_MARIADB_DLL} DESTINATION ${HERALD_PLUGIN_FOLDER} COMPONENT plugin)

include(ThirdPartyNotices)
herald_notices(plugin ${HERALD_PLUGIN_FOLDER} SkyCrateHerald SHIPPED libmariadb.dll)

set(herald_archives plugin)
if(TARGET herald)
  # herald finds the plugin library beside itself, and both need the host's.
  install(PROGRAMS $<TARGET_FILE:herald> $<TARGET_FILE:HeraldHost> ${HERALD_PACKAGED_PLUGIN} ${HERALD_MARIADB_DLL}
          DESTINATION . COMPONENT tools)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/config.md ${PROJECT_SOURCE_DIR}/docs/scenarios.md
                ${PROJECT_SOURCE_DIR}/docs/preview.md ${PROJECT_SOURCE_DIR}/docs/deploying.md
          DESTINATION docs COMPONENT tools)
  herald_notices(tools . herald HeraldHost SkyCrateHerald SHIPPED libmariadb.dll)
  list(APPEND herald_archives tools)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME SkyCrateHerald)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_ARCHIVE_PLUGIN_FILE_NAME SkyCrateHerald-${PROJECT_VERSION}-win64)
set(CPACK_ARCHIVE_TOOLS_FILE_NAME SkyCrateHerald-tools-${PROJECT_VERSION}-win64)
# Each archive's top level is its destination itself (the server's folder,
# the tools' folder).
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENTS_ALL ${herald_archives})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
include(CPack)
