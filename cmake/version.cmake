# The version lives in project(VERSION): the code, the Windows resource and
# the programs' --version take it from here. The product has always shown it
# as the major number and two digits of the minor: 7.00.
if(PROJECT_VERSION_MINOR LESS 10)
  set(DELVORA_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
  set(DELVORA_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()

# Packages and downloads carry the version of the commit (scripts/version):
# DELVORA_PACKAGE_VERSION, 7.0.0 at a release and 7.0.0+git139.20261207.9838e58
# after it, and DELVORA_WINDOWS_VERSION, four numbers (7.0.0.139). A Debian
# build hands the package version in from its change log.
find_program(DELVORA_BASH bash)
if(NOT DEFINED DELVORA_PACKAGE_VERSION)
  if(DELVORA_BASH)
    execute_process(COMMAND ${DELVORA_BASH} ${CMAKE_SOURCE_DIR}/scripts/version --upstream
      OUTPUT_VARIABLE DELVORA_PACKAGE_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_VARIABLE delvora_version_error RESULT_VARIABLE delvora_version_failed)
    # A shallow clone still builds; only its packages would be misnamed.
    if(delvora_version_failed)
      message(WARNING "${delvora_version_error}Packages and downloads get ${PROJECT_VERSION}.")
      set(DELVORA_PACKAGE_VERSION ${PROJECT_VERSION})
    endif()
  else()
    set(DELVORA_PACKAGE_VERSION ${PROJECT_VERSION})
  endif()
  # A new commit or checkout computes it anew.
  execute_process(COMMAND git rev-parse --absolute-git-dir
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE delvora_git_dir OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET RESULT_VARIABLE delvora_no_git)
  if(NOT delvora_no_git AND EXISTS ${delvora_git_dir}/logs/HEAD)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${delvora_git_dir}/logs/HEAD)
  endif()
endif()
if(NOT DELVORA_PACKAGE_VERSION MATCHES "^${PROJECT_VERSION}($|\\+git)")
  message(FATAL_ERROR "The package version ${DELVORA_PACKAGE_VERSION} is not one of "
    "project(VERSION ${PROJECT_VERSION}): CHANGELOG.md's newest release and "
    "CMakeLists.txt must name the same version (README: Cutting a release).")
endif()
if(DELVORA_PACKAGE_VERSION MATCHES "^[0-9.]+\\+git([0-9]+)\\.")
  set(DELVORA_WINDOWS_VERSION ${PROJECT_VERSION}.${CMAKE_MATCH_1})
else()
  set(DELVORA_WINDOWS_VERSION ${PROJECT_VERSION}.0)
endif()

set(DELVORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${DELVORA_GENERATED_DIR}/delvora_version.h @ONLY)
