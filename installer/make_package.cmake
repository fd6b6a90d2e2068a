# Makes a Windows Installer package of a staged bundle with wixl. Run by the target that
# keelo_add_package (cmake/KeeloPackage.cmake) adds, as
#
#   cmake -D WIXL=<wixl> -D BUNDLE=<bundle dir> -D VERSION=<x.y.z.b> -D OUTPUT=<file.msi>
#         -D WORK=<scratch dir> -D ACTIONS=<keelo_installer_actions.dll>
#         [-D OSSLSIGNCODE=<osslsigncode>] [-D SIGN_PKCS12=<file.p12>
#          -D SIGN_PASSWORD_FILE=<file> [-D SIGN_TIMESTAMP_URL=<url>]] -P make_package.cmake
#
# With a certificate, from the SIGN_ variables or else from the environment variables
# KEELO_SIGN_PKCS12, KEELO_SIGN_PASSWORD_FILE and KEELO_SIGN_TIMESTAMP_URL, our own binaries
# (the host, the guard and the custom-action library) are signed before they are packaged and
# the package after, with Authenticode and SHA-256. The bundle itself is left as it is: its
# signed copy is WORK/bundle.
#
# The package is remade only when a file of the bundle, one of the package's own files, the
# version or the certificate changed; the digest of the last inputs is kept beside it.

foreach(variable WIXL BUNDLE VERSION OUTPUT WORK ACTIONS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "make_package.cmake: -D ${variable}=... is required")
  endif()
endforeach()

foreach(setting PKCS12 PASSWORD_FILE TIMESTAMP_URL)
  if(NOT DEFINED SIGN_${setting})
    set(SIGN_${setting} "$ENV{KEELO_SIGN_${setting}}")
  endif()
endforeach()
set(signing OFF)
if(NOT SIGN_PKCS12 STREQUAL "")
  if(NOT EXISTS "${SIGN_PKCS12}" OR NOT EXISTS "${SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "make_package.cmake: signing needs the certificate (PKCS#12) file "
                        "\"${SIGN_PKCS12}\" and the file of its password "
                        "\"${SIGN_PASSWORD_FILE}\"; one of them is missing")
  endif()
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "make_package.cmake: osslsigncode was not found; scripts/bootstrap "
                        "installs it")
  endif()
  set(signing ON)
endif()

# The first version after this one, which ends the range of versions that this one replaces.
string(REPLACE "." ";" fields ${VERSION})
list(GET fields 0 major)
list(GET fields 1 minor)
list(GET fields 2 patch)
if(patch LESS 65535)
  math(EXPR patch "${patch} + 1")
elseif(minor LESS 255)
  math(EXPR minor "${minor} + 1")
  set(patch 0)
else()
  math(EXPR major "${major} + 1")
  set(minor 0)
  set(patch 0)
endif()
set(next_version ${major}.${minor}.${patch})

# Our own executables in the bundle, signed with the custom-action library; the engine and the
# UI application are the engine's and the application's makers' to sign.
set(own_executables keelo_app.exe keelo_proxy_guard.exe)

set(installer_dir ${CMAKE_CURRENT_LIST_DIR})
set(package_sources
    ${installer_dir}/keelo.wxs ${installer_dir}/../resources/app_icon.ico ${ACTIONS})

function(xml_escape text out_var)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Appends to the variable |xml| the components of the bundle folder |folder| (relative, "" for
# the bundle itself) and of every folder below it, and to |components| their ids. One component
# per folder, kept by a value under the user's key as a per-user installation needs, removing its
# folder on uninstall; a folder without files is still created, since the engine checks that
# data\flutter_assets exists.
function(harvest_folder folder indent)
  if(folder STREQUAL "")
    set(path ${BUNDLE})
    set(name bundle)
  else()
    set(path ${BUNDLE}/${folder})
    string(REPLACE "/" "\\" name "bundle\\${folder}")
  endif()
  string(MD5 id "${folder}")
  xml_escape("${name}" value_name)

  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${path} ${path}/*)
  list(SORT entries)
  set(files "")
  set(subfolders "")
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY ${path}/${entry})
      list(APPEND subfolders ${entry})
    else()
      list(APPEND files ${entry})
    endif()
  endforeach()

  string(APPEND xml "${indent}<Component Id=\"Folder_${id}\" Guid=\"*\">\n")
  string(APPEND xml "${indent}  <RegistryValue Root=\"HKCU\" Key=\"Software\\Vantrel\\Keelo\" "
                    "Name=\"${value_name}\" Type=\"integer\" Value=\"1\" KeyPath=\"yes\" />\n")
  if(files STREQUAL "")
    string(APPEND xml "${indent}  <CreateFolder />\n")
  endif()
  foreach(file IN LISTS files)
    if(folder STREQUAL "")
      set(source ${file})
    else()
      set(source ${folder}/${file})
    endif()
    string(MD5 file_id "${source}")
    xml_escape("${source}" source)
    string(APPEND xml "${indent}  <File Id=\"File_${file_id}\" Source=\"${source}\" />\n")
  endforeach()
  string(APPEND xml "${indent}  <RemoveFolder Id=\"Remove_${id}\" On=\"uninstall\" />\n")
  string(APPEND xml "${indent}</Component>\n")
  list(APPEND components Folder_${id})

  foreach(subfolder IN LISTS subfolders)
    if(folder STREQUAL "")
      set(child ${subfolder})
    else()
      set(child ${folder}/${subfolder})
    endif()
    string(MD5 child_id "${child}")
    xml_escape("${subfolder}" child_name)
    string(APPEND xml "${indent}<Directory Id=\"Directory_${child_id}\" Name=\"${child_name}\">\n")
    harvest_folder("${child}" "${indent}  ")
    string(APPEND xml "${indent}</Directory>\n")
  endforeach()

  set(xml "${xml}" PARENT_SCOPE)
  set(components "${components}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS ${BUNDLE}/keelo_app.exe)
  message(FATAL_ERROR "make_package.cmake: no keelo_app.exe in ${BUNDLE}")
endif()
# A build that compiles only (the windows-clang preset) leaves empty files where its programs
# would be, and there is nothing in them to sign.
file(SIZE ${BUNDLE}/keelo_app.exe host_size)
if(signing AND host_size EQUAL 0)
  message(STATUS "${OUTPUT} is not signed: the bundle's programs are empty, as a compile-only "
                 "build leaves them")
  set(signing OFF)
endif()

set(xml "")
set(components "")
harvest_folder("" "      ")
set(fragment "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n")
string(APPEND fragment "<!-- Made by make_package.cmake from ${BUNDLE} -->\n")
string(APPEND fragment "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n")
string(APPEND fragment "  <Fragment>\n    <DirectoryRef Id=\"INSTALLDIR\">\n")
string(APPEND fragment "${xml}")
string(APPEND fragment "    </DirectoryRef>\n    <ComponentGroup Id=\"KeeloBundle\">\n")
foreach(component IN LISTS components)
  string(APPEND fragment "      <ComponentRef Id=\"${component}\" />\n")
endforeach()
string(APPEND fragment "    </ComponentGroup>\n  </Fragment>\n</Wix>\n")

# The fragment names every file, so its text and the contents of those files cover the bundle.
set(inputs "${VERSION}\n${fragment}")
file(GLOB_RECURSE bundle_files LIST_DIRECTORIES false RELATIVE ${BUNDLE} ${BUNDLE}/*)
list(SORT bundle_files)
foreach(file IN LISTS bundle_files)
  file(SHA256 ${BUNDLE}/${file} hash)
  string(APPEND inputs "${file} ${hash}\n")
endforeach()
foreach(file IN LISTS package_sources)
  file(SHA256 ${file} hash)
  string(APPEND inputs "${file} ${hash}\n")
endforeach()
if(signing)
  file(SHA256 ${SIGN_PKCS12} hash)
  string(APPEND inputs "signed with ${hash} ${SIGN_TIMESTAMP_URL}\n")
endif()
string(SHA256 digest "${inputs}")
if(EXISTS ${OUTPUT} AND EXISTS ${OUTPUT}.digest)
  file(READ ${OUTPUT}.digest previous)
  if(previous STREQUAL digest)
    return()
  endif()
endif()

# Authenticode with SHA-256 in place, timestamped only when a server is named, since a build
# machine may reach none.
function(sign file)
  set(command ${OSSLSIGNCODE} sign -pkcs12 ${SIGN_PKCS12} -readpass ${SIGN_PASSWORD_FILE}
              -h sha256 -n Keelo)
  if(NOT SIGN_TIMESTAMP_URL STREQUAL "")
    list(APPEND command -ts ${SIGN_TIMESTAMP_URL})
  endif()
  file(REMOVE ${file}.signed)
  execute_process(COMMAND ${command} -in ${file} -out ${file}.signed
                  RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    file(REMOVE ${file}.signed)
    message(FATAL_ERROR "osslsigncode could not sign ${file} (${result})")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()

# wixl finds a file beside the source that names it, or in the directory it runs in, and never
# by an absolute path: the package's own files are copied beside its sources, and it runs in the
# bundle, whose files the fragment names relative to it.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${package_sources} DESTINATION ${WORK})
file(WRITE ${WORK}/bundle.wxs "${fragment}")
set(packaged_bundle ${BUNDLE})
if(signing)
  set(packaged_bundle ${WORK}/bundle)
  file(COPY ${BUNDLE}/ DESTINATION ${packaged_bundle})
  foreach(executable IN LISTS own_executables)
    if(EXISTS ${packaged_bundle}/${executable})
      sign(${packaged_bundle}/${executable})
    endif()
  endforeach()
  get_filename_component(actions_name ${ACTIONS} NAME)
  sign(${WORK}/${actions_name})
endif()
# What the installed files take on disk, signatures included, in KiB: the size shown under
# installed apps.
set(bytes 0)
foreach(file IN LISTS bundle_files)
  file(SIZE ${packaged_bundle}/${file} size)
  math(EXPR bytes "${bytes} + ${size}")
endforeach()
math(EXPR kibibytes "(${bytes} + 1023) / 1024")

# Written under another name first, so that a failure leaves no package that looks finished.
execute_process(
  COMMAND ${WIXL} --arch x64 --define Version=${VERSION} --define NextVersion=${next_version}
          --define Size=${kibibytes} --output ${OUTPUT}.partial
          ${WORK}/keelo.wxs ${WORK}/bundle.wxs
  WORKING_DIRECTORY ${packaged_bundle}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT}.partial)
  message(FATAL_ERROR "wixl could not make ${OUTPUT} (${result})")
endif()
if(signing)
  sign(${OUTPUT}.partial)
endif()
file(RENAME ${OUTPUT}.partial ${OUTPUT})
file(WRITE ${OUTPUT}.digest "${digest}")
if(signing)
  message(STATUS "Made ${OUTPUT}, signed")
else()
  message(STATUS "Made ${OUTPUT}")
endif()
