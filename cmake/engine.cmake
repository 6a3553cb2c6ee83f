# Sources and tests of this area.
# The conversion engine (marks, code pages, record rule, reader, writer),
# the path rules, the file-system questions and delvora-convert.
target_sources(delvora_core PRIVATE
  src/conversion/encoding.cpp
  src/conversion/code_page.cpp
  src/conversion/record_rule.cpp
  src/conversion/text_reader.cpp
  src/conversion/text_writer.cpp
  src/conversion/converter.cpp
  src/conversion/paths.cpp
  src/platform/file_system.cpp)

delvora_add_core_test(engine_tests
  tests/conversion/paths_test.cpp
  tests/conversion/converter_test.cpp
  tests/conversion/reference_converter.cpp
  tests/platform/file_system_test.cpp)
