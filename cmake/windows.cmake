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
  # (RT_MANIFEST), the one Windows reads when it starts the process.
  file(TO_CMAKE_PATH "${delvora_manifest}" manifest_path)
  file(WRITE "${CMAKE_BINARY_DIR}/delvora_manifest.rc" "1 24 \"${manifest_path}\"\n")
  set_source_files_properties("${CMAKE_BINARY_DIR}/delvora_manifest.rc" PROPERTIES
    OBJECT_DEPENDS "${delvora_manifest}")
  foreach(program ${delvora_programs})
    target_sources(${program} PRIVATE "${CMAKE_BINARY_DIR}/delvora_manifest.rc")
  endforeach()
endif()

delvora_add_core_test(windows_manifest_tests tests/platform/windows_manifest_test.cpp)
if(TARGET windows_manifest_tests)
  add_dependencies(windows_manifest_tests ${delvora_programs})
  if(TARGET delvora)
    target_compile_definitions(windows_manifest_tests PRIVATE DELVORA_WITH_WINDOW)
  endif()
endif()
