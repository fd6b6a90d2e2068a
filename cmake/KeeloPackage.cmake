# keelo_add_package(<name> BUNDLE <target> DIRECTORY <dir> VERSION <x.y.z[.b]> OUTPUT <file.msi>
#                   [SIGN_PKCS12 <file.p12> SIGN_PASSWORD_FILE <file>])
#   Windows build only. Adds the target <name>, part of ALL, that makes <file.msi>: the Windows
#   Installer package (installer/keelo.wxs) of version <x.y.z[.b]> that installs every file of the
#   bundle that <target> stages in <dir> (see KeeloBundle.cmake). The package is remade only when
#   its contents changed. The function is defined by including this module:
#   include(KeeloPackage).
#
#   With SIGN_PKCS12, or else with the environment variable KEELO_SIGN_PKCS12 set when the
#   target runs, our own binaries and the package are signed (installer/make_package.cmake),
#   timestamped only in the second case; the signed copy of the bundle that the package holds is
#   then <current binary dir>/<name>/bundle.

set(KEELO_INSTALLER_DIR ${CMAKE_CURRENT_LIST_DIR}/../installer)
cmake_path(NORMAL_PATH KEELO_INSTALLER_DIR)
find_program(KEELO_WIXL wixl REQUIRED)
# Needed only to sign, which make_package.cmake says when it is missing.
find_program(KEELO_OSSLSIGNCODE osslsigncode)

function(keelo_add_package name)
  cmake_parse_arguments(PARSE_ARGV 1 arg ""
                        "BUNDLE;DIRECTORY;VERSION;OUTPUT;SIGN_PKCS12;SIGN_PASSWORD_FILE" "")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_BUNDLE OR NOT arg_DIRECTORY OR NOT arg_VERSION
     OR NOT arg_OUTPUT OR (arg_SIGN_PKCS12 AND NOT arg_SIGN_PASSWORD_FILE))
    message(FATAL_ERROR "keelo_add_package(${name} BUNDLE <target> DIRECTORY <dir> "
                        "VERSION <x.y.z[.b]> OUTPUT <file.msi> "
                        "[SIGN_PKCS12 <file.p12> SIGN_PASSWORD_FILE <file>])")
  endif()
  # Windows Installer keeps a package version in 8, 8, 16 and 16 bits and compares only the
  # first three fields.
  if(NOT arg_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$"
     OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535
     OR CMAKE_MATCH_5 GREATER 65535)
    message(FATAL_ERROR "keelo_add_package(${name}): ${arg_VERSION} is no package version")
  endif()
  # A build that links nothing has only empty files to package.
  if(KEELO_COMPILE_ONLY)
    add_custom_target(${name})
    add_dependencies(${name} ${arg_BUNDLE})
    return()
  endif()
  set(signing "")
  if(arg_SIGN_PKCS12)
    # Never timestamped: a certificate given here is a test's, and a server named in the
    # environment is for a release.
    set(signing -D SIGN_PKCS12=${arg_SIGN_PKCS12} -D SIGN_PASSWORD_FILE=${arg_SIGN_PASSWORD_FILE}
                -D SIGN_TIMESTAMP_URL=)
  endif()
  add_custom_target(${name} ALL
    COMMAND ${CMAKE_COMMAND}
            -D WIXL=${KEELO_WIXL}
            -D OSSLSIGNCODE=${KEELO_OSSLSIGNCODE}
            -D BUNDLE=${arg_DIRECTORY}
            -D VERSION=${arg_VERSION}
            -D OUTPUT=${arg_OUTPUT}
            -D WORK=${CMAKE_CURRENT_BINARY_DIR}/${name}
            -D ACTIONS=$<TARGET_FILE:keelo_installer_actions>
            ${signing}
            -P ${KEELO_INSTALLER_DIR}/make_package.cmake
    BYPRODUCTS ${arg_OUTPUT}
    COMMENT "Packaging ${arg_DIRECTORY}"
    VERBATIM)
  add_dependencies(${name} ${arg_BUNDLE} keelo_installer_actions)
endfunction()
