# keelo_stage_bundle(<name> DIRECTORY <dir> APP <target> [EXECUTABLES <targets...>])
#   Windows build only. Adds the target <name>, part of ALL, that lays out in <dir> what the host
#   needs beside it to run on the development kit:
#
#     <dir>/<each of EXECUTABLES>
#     <dir>/keelo_proxy_guard.exe             with keelo_app: the host's proxy guard
#     <dir>/flutter_windows.dll               the stand-in engine (keelo_devkit_engine)
#     <dir>/url_launcher_windows_plugin.dll   the stand-in plug-in (keelo_devkit_url_launcher)
#     <dir>/data/app.so                       the UI application: the library that <target> builds
#                                             (keelo_devkit_driver_app or keelo_devkit_demo_app)
#     <dir>/data/icudtl.dat                   placeholder
#     <dir>/data/flutter_assets/              placeholder folder
#
#   Only changed files are copied. Make whatever runs from <dir> depend on <name>. The function
#   is defined by including this module: include(KeeloBundle).

function(keelo_stage_bundle name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DIRECTORY;APP" "EXECUTABLES")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_DIRECTORY OR NOT arg_APP)
    message(FATAL_ERROR "keelo_stage_bundle(${name} DIRECTORY <dir> APP <target> "
                        "[EXECUTABLES <targets...>])")
  endif()
  # The host starts its guard from its own folder.
  if("keelo_app" IN_LIST arg_EXECUTABLES)
    list(APPEND arg_EXECUTABLES keelo_proxy_guard)
  endif()
  set(files ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../devkit/bundle)
  set(data ${arg_DIRECTORY}/data)
  set(commands
      COMMAND ${CMAKE_COMMAND} -E make_directory ${data}/flutter_assets
      COMMAND ${CMAKE_COMMAND} -E copy_if_different
              $<TARGET_FILE:keelo_devkit_engine> $<TARGET_FILE:keelo_devkit_url_launcher>
              ${arg_DIRECTORY}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${arg_APP}> ${data}/app.so
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files}/icudtl.dat
              ${data}/icudtl.dat
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${files}/flutter_assets
              ${data}/flutter_assets)
  foreach(executable IN LISTS arg_EXECUTABLES)
    list(APPEND commands
         COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${executable}>
                 ${arg_DIRECTORY})
  endforeach()
  add_custom_target(${name} ALL ${commands}
                    COMMENT "Staging the development kit bundle in ${arg_DIRECTORY}" VERBATIM)
  add_dependencies(${name} keelo_devkit_engine keelo_devkit_url_launcher ${arg_APP}
                   ${arg_EXECUTABLES})
endfunction()
