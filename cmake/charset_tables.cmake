# Decoding as glibc's iconv decodes, from tables read off the building
# machine's own iconv by a program built with its own compiler: the
# Windows build's iconv, and on Linux the tests that hold the tables to
# glibc's answers.
find_program(ROWSMITH_HOST_CXX NAMES g++ c++ REQUIRED)
set(charset_tool ${CMAKE_CURRENT_BINARY_DIR}/charset_tables_tool)
set(charset_tables ${CMAKE_CURRENT_BINARY_DIR}/generated/charset_tables.inc)
add_custom_command(OUTPUT ${charset_tables}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
  COMMAND ${ROWSMITH_HOST_CXX} -std=c++20 -O2 ${PROJECT_SOURCE_DIR}/tools/charset_tables.cpp -o ${charset_tool}
  COMMAND ${charset_tool} > ${charset_tables}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/charset_tables.cpp
  COMMENT "Reading the character-set tables off this machine's iconv" VERBATIM)
add_library(rowsmith_charset_tables STATIC ${PROJECT_SOURCE_DIR}/src/io/charset_tables.cpp ${charset_tables})
target_include_directories(rowsmith_charset_tables PUBLIC ${PROJECT_SOURCE_DIR}/src
  PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(rowsmith_charset_tables PRIVATE rowsmith_warnings)
