# Shared failure type, product constants, path text helpers, the list view
# adapter, the seams and the window shell.
target_sources(delvora_core PRIVATE
  src/platform/app_error.cpp
  src/platform/utf8.cpp
  src/platform/utf8_path.cpp)

# Each system's side of the platform services: one file per service in
# src/platform/posix/ or src/platform/windows/, behind one header.
if(WIN32)
  set(delvora_platform_dir src/platform/windows)
else()
  set(delvora_platform_dir src/platform/posix)
endif()
target_sources(delvora_core PRIVATE
  src/platform/file_identity.cpp
  src/platform/replacing_file.cpp
  ${delvora_platform_dir}/console.cpp
  ${delvora_platform_dir}/file_attributes.cpp
  ${delvora_platform_dir}/file_identity.cpp
  ${delvora_platform_dir}/file_system.cpp
  ${delvora_platform_dir}/folder_listing.cpp
  ${delvora_platform_dir}/input_file.cpp
  ${delvora_platform_dir}/interrupt_cleanup.cpp
  ${delvora_platform_dir}/replacing_file.cpp
  ${delvora_platform_dir}/system_code_page.cpp)

delvora_gui_sources(
  src/platform/seams.h
  src/platform/list_view.cpp
  src/platform/progress_bar.cpp
  src/platform/qt_seams.cpp
  src/platform/qt_file_dialog.cpp
  ${delvora_platform_dir}/web_page_opener.cpp
  src/app/settings_store.cpp
  src/app/error_box.cpp
  src/app/skin.cpp
  src/app/main_window.cpp
  src/app/main_window_list.cpp
  src/app/main_window_add.cpp)

delvora_add_core_test(foundation_tests tests/platform/app_error_test.cpp)
