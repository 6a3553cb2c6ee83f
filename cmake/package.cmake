# The tests of what a user installs: the desktop data, the tree
# `cmake --install` lays out, and the Debian packages that debian/ makes of
# it (`make package`; `make package-check` for the whole check).
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT DELVORA_TESTS OR DELVORA_SANITIZE
   OR NOT TARGET delvora)
  # A package of sanitised programs is nobody's package.
  return()
endif()

# Loaded into the real, installed window (LD_PRELOAD) by the tests below: it
# reports what the window shows once it is up, then ends it. The program
# itself carries no switch for this.
add_library(delvora_window_probe MODULE tests/package/window_probe.cpp)
target_link_libraries(delvora_window_probe PRIVATE Qt6::Widgets)

set(delvora_package_test ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh)
foreach(mode desktop-data command-line window-class install-tree package versions)
  add_test(NAME package_${mode}
    COMMAND bash ${delvora_package_test} ${mode}
      --source ${CMAKE_SOURCE_DIR}
      --build ${CMAKE_BINARY_DIR}
      --probe $<TARGET_FILE:delvora_window_probe>
      --version ${DELVORA_VERSION_TEXT}
      --project-version ${PROJECT_VERSION})
  set_tests_properties(package_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()
# They install the same build tree: one at a time.
set_tests_properties(package_install-tree package_package PROPERTIES RESOURCE_LOCK delvora_install)
# Two X servers started at the same moment by -displayfd can both be handed
# the same display: the tests that start one take turns.
set_tests_properties(package_window-class PROPERTIES RESOURCE_LOCK delvora_x_display)
