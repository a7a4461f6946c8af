# The engine's sources, one list for the program's build and the fuzzing build.
set(BRAMBOLD_ENGINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ArchiveEnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Destination.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExistingFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkJudge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ListingRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NameTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EntryWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SolidArchive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnRarCalls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/untUnRar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VoskCallback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VoskConvert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VoskErrors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VoskUnRar.cpp
)
