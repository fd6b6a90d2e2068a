# Makes a Windows Installer package of a staged bundle with wixl. Run by the target that
# keelo_add_package (cmake/KeeloPackage.cmake) adds, as
#
#   cmake -D WIXL=<wixl> -D BUNDLE=<bundle dir> -D VERSION=<x.y.z> -D OUTPUT=<file.msi>
#         -D WORK=<scratch dir> -D ACTIONS=<keelo_installer_actions.dll> -P make_package.cmake
#
# The package is remade only when a file of the bundle, one of the package's own files or the
# version changed; the digest of the last inputs is kept beside it.

foreach(variable WIXL BUNDLE VERSION OUTPUT WORK ACTIONS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "make_package.cmake: -D ${variable}=... is required")
  endif()
endforeach()

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
string(SHA256 digest "${inputs}")
if(EXISTS ${OUTPUT} AND EXISTS ${OUTPUT}.digest)
  file(READ ${OUTPUT}.digest previous)
  if(previous STREQUAL digest)
    return()
  endif()
endif()

# wixl finds a file beside the source that names it, or in the directory it runs in, and never
# by an absolute path: the package's own files are copied beside its sources, and it runs in the
# bundle, whose files the fragment names relative to it.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${package_sources} DESTINATION ${WORK})
file(WRITE ${WORK}/bundle.wxs "${fragment}")
# Written under another name first, so that a failure leaves no package that looks finished.
execute_process(
  COMMAND ${WIXL} --arch x64 --define Version=${VERSION} --define NextVersion=${next_version}
          --output ${OUTPUT}.partial
          ${WORK}/keelo.wxs ${WORK}/bundle.wxs
  WORKING_DIRECTORY ${BUNDLE}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT}.partial)
  message(FATAL_ERROR "wixl could not make ${OUTPUT} (${result})")
endif()
file(RENAME ${OUTPUT}.partial ${OUTPUT})
file(WRITE ${OUTPUT}.digest "${digest}")
message(STATUS "Made ${OUTPUT}")
