# Windows only: the application manifest both programs carry (long paths the
# user names work where Windows allows them) and the test that it is there.
if(NOT WIN32)
  return()
endif()

set(delvora_manifest "${CMAKE_SOURCE_DIR}/src/platform/windows/delvora.manifest")
set(delvora_programs delvora-convert)
if(TARGET delvora)
  list(APPEND delvora_programs delvora)
endif()
if(MSVC)
  # The linker merges a listed manifest into the one it writes.
  foreach(program ${delvora_programs})
    target_sources(${program} PRIVATE "${delvora_manifest}")
  endforeach()
else()
  # MinGW links no manifest of its own: ours is resource 1 of type 24
  # (RT_MANIFEST), the one Windows reads when it starts the process. GNU ld
  # keeps the resources of one compiled script only, so the window's
  # manifest joins the script that already gives it its icon and version.
  file(TO_CMAKE_PATH "${delvora_manifest}" manifest_path)
  set(manifest_line "1 24 \"${manifest_path}\"\n")
  file(WRITE "${CMAKE_BINARY_DIR}/delvora_manifest.rc" "${manifest_line}")
  target_sources(delvora-convert PRIVATE "${CMAKE_BINARY_DIR}/delvora_manifest.rc")
  set(manifest_scripts "${CMAKE_BINARY_DIR}/delvora_manifest.rc")
  if(TARGET delvora)
    if(EXISTS "${CMAKE_BINARY_DIR}/delvora.rc")
      file(APPEND "${CMAKE_BINARY_DIR}/delvora.rc" "${manifest_line}")
      list(APPEND manifest_scripts "${CMAKE_BINARY_DIR}/delvora.rc")
    else()
      target_sources(delvora PRIVATE "${CMAKE_BINARY_DIR}/delvora_manifest.rc")
    endif()
  endif()
  set_source_files_properties(${manifest_scripts} PROPERTIES OBJECT_DEPENDS "${delvora_manifest}")
endif()

delvora_add_core_test(windows_manifest_tests tests/platform/windows_manifest_test.cpp)
if(TARGET windows_manifest_tests)
  add_dependencies(windows_manifest_tests ${delvora_programs})
  if(TARGET delvora)
    target_compile_definitions(windows_manifest_tests PRIVATE DELVORA_WITH_WINDOW)
  endif()
endif()
