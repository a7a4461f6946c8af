# The platform pieces without Qt, one list for the program's build and the
# fuzzing build.
set(BRAMBOLD_PLATFORM_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/descriptor_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/program_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_file.cpp
)
