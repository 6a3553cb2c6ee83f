# Sources and tests of this area.
# The conversion run, the delimiter choice and editing the file list.
target_sources(delvora_core PRIVATE
  src/conversion/delimiter.cpp
  src/conversion/conversion_run.cpp
  src/filelist/list_editing.cpp)

delvora_add_core_test(conversion_run_tests
  tests/conversion/conversion_run_test.cpp)

delvora_add_test(run_gui_tests
  tests/gui/run_window_test.cpp)

delvora_add_test(edit_gui_tests
  tests/gui/edit_list_test.cpp)

if(DELVORA_BENCH AND DELVORA_GUI)
  # The window's run against delvora-convert on the same inputs.
  add_executable(run_bench bench/run_bench.cpp)
  target_link_libraries(run_bench PRIVATE delvora_gui)
endif()
