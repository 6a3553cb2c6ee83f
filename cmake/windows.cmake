# Windows only: each program's resource script, checked in under
# share/windows/ and configured with the version. Both programs carry the
# application manifest (long paths the user names work where Windows allows
# them), the icon and the version block of share/windows/version.rc.in,
# which each script includes as "delvora_version.rc".
#
#   delvora_windows_resources(<target> <script.rc.in>)
#
# The scripts may use @DELVORA_ICON@, @DELVORA_VERSION_COMMAS@ (7,0,0,0),
# @DELVORA_WINDOWS_VERSION@ (7.0.0.0), @DELVORA_PUBLISHER@, @DELVORA_COPYRIGHT@
# and must hold @DELVORA_MANIFEST_RESOURCE@.
set(delvora_windows_dir "${CMAKE_SOURCE_DIR}/share/windows")
# The publisher Windows shows (file properties, "Apps & features").
set(DELVORA_PUBLISHER "Quorvane")
set(DELVORA_COPYRIGHT "Copyright (C) 2026 the Delvora developers / Quorvane")

function(delvora_windows_resources target script_in)
  if(NOT WIN32)
    return()
  endif()
  set(manifest "${delvora_windows_dir}/delvora.manifest")
  file(TO_CMAKE_PATH "${CMAKE_SOURCE_DIR}/resources/delvora.ico" DELVORA_ICON)
  string(REPLACE "." "," DELVORA_VERSION_COMMAS "${DELVORA_WINDOWS_VERSION}")
  if(MSVC)
    # The linker merges a listed manifest into the one it writes.
    set(DELVORA_MANIFEST_RESOURCE "")
    target_sources(${target} PRIVATE "${manifest}")
  else()
    # MinGW links no manifest of its own: ours is resource 1 of type 24
    # (RT_MANIFEST), the one Windows reads when it starts the process. GNU ld
    # keeps the resources of one compiled script only, so each program has
    # exactly one script and the manifest goes into it.
    file(TO_CMAKE_PATH "${manifest}" manifest_path)
    set(DELVORA_MANIFEST_RESOURCE "1 24 \"${manifest_path}\"")
  endif()
  # The shared block lies beside the configured scripts, where the resource
  # compiler looks for a quoted include.
  set(version_block "${CMAKE_BINARY_DIR}/delvora_version.rc")
  configure_file("${delvora_windows_dir}/version.rc.in" "${version_block}" @ONLY)
  get_filename_component(name "${script_in}" NAME_WLE)
  set(script "${CMAKE_BINARY_DIR}/${name}")
  configure_file("${script_in}" "${script}" @ONLY)
  target_sources(${target} PRIVATE "${script}")
  set_source_files_properties("${script}" TARGET_DIRECTORY ${target}
    PROPERTIES OBJECT_DEPENDS "${manifest};${DELVORA_ICON};${version_block}")
endfunction()
