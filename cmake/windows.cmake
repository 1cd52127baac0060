# The Windows build of the engine and rowsmith-convert (make windows),
# cross-compiled on Debian with MinGW-w64 (cmake/windows-toolchain.cmake).
# Included from the top CMakeLists.txt where the io layer is made.

# What Windows answers in a file of its own, and iconv from tables.
target_sources(rowsmith_io PRIVATE src/io/platform_windows.cpp src/io/charset_windows.cpp)
target_include_directories(rowsmith_io PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src/io/windows)
# SHA-256 from the system's cryptography; the command line as typed.
target_link_libraries(rowsmith_io PRIVATE bcrypt shell32)
# Files over 2 GiB, and Unicode (UTF-16) calls throughout.
target_compile_definitions(rowsmith_io PUBLIC _FILE_OFFSET_BITS=64 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0A00)

# The character-set tables, read off the building machine's own iconv by a
# program built with its own compiler.
find_program(ROWSMITH_HOST_CXX NAMES g++ c++ REQUIRED)
set(charset_tool ${CMAKE_CURRENT_BINARY_DIR}/charset_tables_tool)
set(charset_tables ${CMAKE_CURRENT_BINARY_DIR}/generated/charset_tables.inc)
add_custom_command(OUTPUT ${charset_tables}
  COMMAND ${ROWSMITH_HOST_CXX} -std=c++20 -O2 ${CMAKE_CURRENT_SOURCE_DIR}/tools/charset_tables.cpp -o ${charset_tool}
  COMMAND ${charset_tool} > ${charset_tables}
  DEPENDS tools/charset_tables.cpp
  COMMENT "Reading the character-set tables off this machine's iconv" VERBATIM)
target_sources(rowsmith_io PRIVATE ${charset_tables})
target_include_directories(rowsmith_io PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
