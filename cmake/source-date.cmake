# The time that stands for the build wherever one is written (the Debian
# change log, the packages' archives): SOURCE_DATE_EPOCH when set, else the
# date of the last commit, else now. Asked when the build or cpack runs, not
# when the build folder was configured, so that it follows new commits.
function(delvora_source_date_epoch source_dir out)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(${out} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${source_dir}
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET RESULT_VARIABLE git_failed)
  if(git_failed OR epoch STREQUAL "")
    string(TIMESTAMP epoch "%s" UTC)
  endif()
  set(${out} ${epoch} PARENT_SCOPE)
endfunction()
