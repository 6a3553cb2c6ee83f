# Shared failure type, product constants, path text helpers, the list view
# adapter, the seams and the window shell.
target_sources(delvora_core PRIVATE
  src/platform/app_error.cpp
  src/platform/utf8.cpp
  src/platform/utf8_path.cpp)

delvora_gui_sources(
  src/platform/seams.h
  src/platform/list_view.cpp
  src/platform/progress_bar.cpp
  src/platform/qt_seams.cpp
  src/platform/qt_file_dialog.cpp
  src/app/settings_store.cpp
  src/app/error_box.cpp
  src/app/skin.cpp
  src/app/main_window.cpp
  src/app/main_window_list.cpp
  src/app/main_window_add.cpp)

delvora_add_core_test(foundation_tests tests/platform/app_error_test.cpp)
