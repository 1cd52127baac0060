# The Windows build of the engine and rowsmith-convert (make windows),
# cross-compiled on Debian with MinGW-w64 (cmake/windows-toolchain.cmake).
# Included from the top CMakeLists.txt where the io layer is made.

# What Windows answers in a file of its own, and iconv from tables.
include(cmake/charset_tables.cmake)
target_sources(rowsmith_io PRIVATE src/io/platform_windows.cpp)
target_include_directories(rowsmith_io PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src/io/windows)
# SHA-256 from the system's cryptography; the command line as typed.
target_link_libraries(rowsmith_io PRIVATE rowsmith_charset_tables bcrypt shell32)
# Files over 2 GiB, and Unicode (UTF-16) calls throughout.
target_compile_definitions(rowsmith_io PUBLIC _FILE_OFFSET_BITS=64 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0A00)

# The version resource and the application manifest (UTF-8 names, long
# paths), for rowsmith-convert.exe.
enable_language(RC)
set(ROWSMITH_WINDOWS_VERSION ${PROJECT_VERSION})
set(ROWSMITH_WINDOWS_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/generated/rowsmith-convert.manifest)
configure_file(packaging/windows/rowsmith-convert.manifest ${ROWSMITH_WINDOWS_MANIFEST} @ONLY)
set(ROWSMITH_WINDOWS_RESOURCES ${CMAKE_CURRENT_BINARY_DIR}/generated/rowsmith-convert.rc)
configure_file(packaging/windows/rowsmith-convert.rc.in ${ROWSMITH_WINDOWS_RESOURCES} @ONLY)
