# Sources and tests of this area.
# Filling the list: the folder walk, file attributes, the file dialog's
# selection, drops and the sample files.
target_sources(delvora_core PRIVATE
  src/filelist/folder_walk.cpp
  src/platform/file_attributes.cpp)

delvora_add_core_test(fill_core_tests
  tests/filelist/folder_walk_test.cpp
  tests/filelist/file_attributes_test.cpp)

delvora_gui_sources(
  src/app/samples.cpp
  src/filelist/dialog_selection.cpp)

delvora_add_test(fill_gui_tests
  tests/app/samples_test.cpp
  tests/filelist/dialog_selection_test.cpp
  tests/gui/add_dialog_test.cpp
  tests/gui/add_folder_test.cpp
  tests/gui/add_drop_test.cpp
  tests/gui/add_samples_test.cpp)

if(DELVORA_BENCH AND DELVORA_GUI)
  # Adding a large folder tree against find; run by hand or with `make bench`.
  add_executable(walk_bench bench/walk_bench.cpp)
  target_link_libraries(walk_bench PRIVATE delvora_gui)
endif()
