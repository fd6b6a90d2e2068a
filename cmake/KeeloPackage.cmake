# keelo_add_package(<name> BUNDLE <target> DIRECTORY <dir> VERSION <x.y.z> OUTPUT <file.msi>)
#   Windows build only. Adds the target <name>, part of ALL, that makes <file.msi>: the Windows
#   Installer package (installer/keelo.wxs) of version <x.y.z> that installs every file of the
#   bundle that <target> stages in <dir> (see KeeloBundle.cmake). The package is remade only when
#   its contents changed. The function is defined by including this module:
#   include(KeeloPackage).

set(KEELO_INSTALLER_DIR ${CMAKE_CURRENT_LIST_DIR}/../installer)
cmake_path(NORMAL_PATH KEELO_INSTALLER_DIR)
find_program(KEELO_WIXL wixl REQUIRED)

function(keelo_add_package name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "BUNDLE;DIRECTORY;VERSION;OUTPUT" "")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_BUNDLE OR NOT arg_DIRECTORY OR NOT arg_VERSION
     OR NOT arg_OUTPUT)
    message(FATAL_ERROR "keelo_add_package(${name} BUNDLE <target> DIRECTORY <dir> "
                        "VERSION <x.y.z> OUTPUT <file.msi>)")
  endif()
  # Windows Installer keeps a package version in 8, 8 and 16 bits and compares only these three
  # fields.
  if(NOT arg_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" OR CMAKE_MATCH_1 GREATER 255
     OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
    message(FATAL_ERROR "keelo_add_package(${name}): ${arg_VERSION} is no package version")
  endif()
  # A build that links nothing has only empty files to package.
  if(KEELO_COMPILE_ONLY)
    add_custom_target(${name})
    add_dependencies(${name} ${arg_BUNDLE})
    return()
  endif()
  add_custom_target(${name} ALL
    COMMAND ${CMAKE_COMMAND}
            -D WIXL=${KEELO_WIXL}
            -D BUNDLE=${arg_DIRECTORY}
            -D VERSION=${arg_VERSION}
            -D OUTPUT=${arg_OUTPUT}
            -D WORK=${CMAKE_CURRENT_BINARY_DIR}/${name}
            -D ACTIONS=$<TARGET_FILE:keelo_installer_actions>
            -P ${KEELO_INSTALLER_DIR}/make_package.cmake
    BYPRODUCTS ${arg_OUTPUT}
    COMMENT "Packaging ${arg_DIRECTORY}"
    VERBATIM)
  add_dependencies(${name} ${arg_BUNDLE} keelo_installer_actions)
endfunction()
