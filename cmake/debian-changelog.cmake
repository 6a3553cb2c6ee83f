# cmake -P: writes the packages' Debian change log (OUTPUT, from INPUT),
# dated by delvora_source_date_epoch(SOURCE_DIR). Leaves an unchanged file
# alone, so that nothing after it is redone.
include(${CMAKE_CURRENT_LIST_DIR}/source-date.cmake)
delvora_source_date_epoch(${SOURCE_DIR} epoch)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP DELVORA_DEBIAN_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${INPUT} ${OUTPUT} @ONLY)
