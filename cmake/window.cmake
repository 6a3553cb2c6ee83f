# Sources and tests of this area.
# The main window's start-up, settings, delimiter and output choices, pointer
# feedback, skin, Help notice and resources.
delvora_gui_sources(
  src/app/startup.cpp
  src/help/help_notice.cpp
  src/platform/cursor.cpp)

# The window icon travels inside the program; the files beside the
# executable (hand pointer, drag pointer, skin) stay optional.
if(DELVORA_GUI)
  qt_add_resources(delvora_gui "delvora_window_icon"
    PREFIX "/delvora"
    BASE "${CMAKE_SOURCE_DIR}/resources"
    FILES "${CMAKE_SOURCE_DIR}/resources/delvora.ico")
endif()

if(WIN32 AND DELVORA_GUI)
  # Explorer's icon and the file version of the executable. Deferred: the
  # executable is declared after the areas.
  file(TO_CMAKE_PATH "${CMAKE_SOURCE_DIR}/resources/delvora.ico" delvora_icon)
  file(WRITE "${CMAKE_BINARY_DIR}/delvora.rc"
    "IDI_ICON1 ICON \"${delvora_icon}\"\n"
    "1 VERSIONINFO\n"
    "FILEVERSION ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0\n"
    "PRODUCTVERSION ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0\n"
    "BEGIN\n"
    "  BLOCK \"StringFileInfo\"\n"
    "  BEGIN\n"
    "    BLOCK \"040904B0\"\n"
    "    BEGIN\n"
    "      VALUE \"CompanyName\", \"Quorvane\"\n"
    "      VALUE \"FileDescription\", \"Delvora\"\n"
    "      VALUE \"FileVersion\", \"${DELVORA_VERSION_TEXT}\"\n"
    "      VALUE \"ProductName\", \"Delvora\"\n"
    "      VALUE \"ProductVersion\", \"${DELVORA_VERSION_TEXT}\"\n"
    "    END\n"
    "  END\n"
    "  BLOCK \"VarFileInfo\"\n"
    "  BEGIN\n"
    "    VALUE \"Translation\", 0x409, 1200\n"
    "  END\n"
    "END\n")
  cmake_language(DEFER CALL target_sources delvora PRIVATE "${CMAKE_BINARY_DIR}/delvora.rc")
endif()

delvora_add_test(window_gui_tests
  tests/gui/window_layout_test.cpp
  tests/gui/window_startup_test.cpp
  tests/gui/window_choices_test.cpp
  tests/gui/window_pointer_test.cpp
  tests/gui/window_access_test.cpp)

delvora_add_test(window_app_tests
  tests/app/settings_store_test.cpp
  tests/app/skin_test.cpp
  tests/app/cursor_test.cpp
  tests/app/resources_test.cpp
  tests/app/qt_seams_test.cpp)
foreach(tests window_gui_tests window_app_tests)
  if(TARGET ${tests})
    target_compile_definitions(${tests} PRIVATE
      DELVORA_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources")
  endif()
endforeach()

if(DELVORA_BENCH AND DELVORA_GUI)
  # Start-up to a shown window, against an empty Qt Widgets window started
  # the same way; bench/startup.sh times both.
  add_executable(startup_delvora bench/startup_delvora.cpp)
  target_link_libraries(startup_delvora PRIVATE delvora_gui)
  add_executable(startup_empty bench/startup_empty.cpp)
  target_link_libraries(startup_empty PRIVATE Qt6::Widgets)
  add_dependencies(startup_delvora delvora_resources)
endif()
