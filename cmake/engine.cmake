# Sources and tests of this area.
# The conversion engine (marks, code pages, record rule, reader, writer),
# the path rules, the file-system questions and delvora-convert.
target_sources(delvora_core PRIVATE
  src/conversion/encoding.cpp
  src/conversion/code_page.cpp
  src/conversion/record_rule.cpp
  src/conversion/quoted_rule.cpp
  src/conversion/check.cpp
  src/conversion/text_reader.cpp
  src/conversion/text_writer.cpp
  src/conversion/batch_plan.cpp
  src/conversion/converter.cpp
  src/conversion/paths.cpp)

delvora_add_core_test(engine_tests
  tests/conversion/paths_test.cpp
  tests/conversion/converter_test.cpp
  tests/conversion/quoted_test.cpp
  tests/conversion/reference_converter.cpp
  tests/conversion/code_page_test.cpp
  tests/conversion/text_writer_test.cpp
  tests/conversion/batch_plan_test.cpp
  tests/platform/file_system_test.cpp)

# The quote-aware modes against Python's csv module, through a small driver
# (not on Windows: the suite runs there under Wine without Python).
if(DELVORA_TESTS)
  add_executable(convert_driver tests/conversion/convert_driver.cpp)
  target_link_libraries(convert_driver PRIVATE delvora_core)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND AND NOT WIN32)
    add_test(NAME quoted_differential
             COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/conversion/quoted_differential.py
                     $<TARGET_FILE:convert_driver>)
    set_tests_properties(quoted_differential PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endif()

# delvora-convert: the headless twin of the conversion run.
add_library(delvora_cli STATIC
  src/cli/cli.cpp
  src/cli/options.cpp
  src/cli/scheduler.cpp
  src/cli/messages.cpp
  src/cli/standard_streams.cpp)
target_link_libraries(delvora_cli PUBLIC delvora_core)
add_executable(delvora-convert src/cli/main.cpp)
target_link_libraries(delvora-convert PRIVATE delvora_cli)
if(MINGW)
  # wmain: arguments arrive as UTF-16, so every file name gets through.
  target_link_options(delvora-convert PRIVATE -municode)
endif()
install(TARGETS delvora-convert RUNTIME DESTINATION bin)

delvora_add_core_test(convert_cli_tests
  tests/cli/cli_test.cpp
  tests/cli/options_test.cpp
  tests/cli/scheduler_test.cpp
  tests/cli/messages_test.cpp
  tests/cli/windows_exe_test.cpp)
if(TARGET convert_cli_tests)
  target_link_libraries(convert_cli_tests PRIVATE delvora_cli)
  target_compile_definitions(convert_cli_tests PRIVATE
    DELVORA_CONVERT_EXE="$<TARGET_FILE:delvora-convert>")
  add_dependencies(convert_cli_tests delvora-convert)
endif()

# The real program as a separate process: limits, signals, other users.
delvora_add_core_test(convert_safety_tests tests/cli/cli_safety_test.cpp)
if(TARGET convert_safety_tests)
  target_compile_definitions(convert_safety_tests PRIVATE
    DELVORA_CONVERT_EXE="$<TARGET_FILE:delvora-convert>")
  add_dependencies(convert_safety_tests delvora-convert)
endif()

if(DELVORA_BENCH)
  add_executable(engine_bench bench/engine_bench.cpp)
  target_link_libraries(engine_bench PRIVATE delvora_core benchmark::benchmark)
  # The floor that bench/batch.sh holds delvora-convert against.
  if(NOT WIN32)
    add_executable(batch_floor bench/batch_floor.cpp)
  endif()
endif()

if(DELVORA_FUZZ)
  target_compile_options(delvora_core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  add_executable(engine_fuzzer fuzz/engine_fuzzer.cpp tests/conversion/reference_converter.cpp)
  target_include_directories(engine_fuzzer PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(engine_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(engine_fuzzer PRIVATE delvora_core -fsanitize=fuzzer,address,undefined)
endif()
