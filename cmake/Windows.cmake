# The Windows build, included by the top-level CMakeLists.txt on WIN32: cross-built with
# mingw-w64 against the Windows Qt (its toolchain file), tested under Wine.
# scripts/windows-build prepares and runs it.

enable_language(C)

# Wine runs the test programs: through wine-run, in this build's own Wine prefix and without
# Wine's debug output, unless the caller's environment says otherwise.
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "(^|/)wine(64)?$")
  set(KK_WINE "${CMAKE_CROSSCOMPILING_EMULATOR}")
  set(KK_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  configure_file(cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# SQLite, the same release as Debian's libsqlite3 with Debian's fixes, as the amalgamation that
# scripts/windows-build makes from Debian's sources. Compiled with Debian's options, but for
# those that only add C interfaces (sessions, pre-update hook) and DELETE/UPDATE ... LIMIT,
# which needs a parser generated for it.
set(KK_SQLITE_DIR "${CMAKE_BINARY_DIR}/third_party/sqlite-3.40.1" CACHE PATH
    "Folder holding the SQLite amalgamation (sqlite3.c, sqlite3.h)")
if(NOT EXISTS "${KK_SQLITE_DIR}/sqlite3.c" OR NOT EXISTS "${KK_SQLITE_DIR}/sqlite3.h")
  message(FATAL_ERROR "No SQLite amalgamation in ${KK_SQLITE_DIR}; scripts/windows-build makes it.")
endif()
add_library(kk_sqlite3 STATIC ${KK_SQLITE_DIR}/sqlite3.c ${KK_SQLITE_DIR}/sqlite3.h)
target_include_directories(kk_sqlite3 SYSTEM PUBLIC ${KK_SQLITE_DIR})
target_compile_definitions(kk_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1
  SQLITE_SECURE_DELETE
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_USE_URI=1
  SQLITE_ALLOW_ROWID_IN_VIEW
  SQLITE_MAX_SCHEMA_RETRY=25
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_SOUNDEX=1
  SQLITE_ENABLE_COLUMN_METADATA
  SQLITE_ENABLE_DBSTAT_VTAB
  SQLITE_ENABLE_FTS3
  SQLITE_ENABLE_FTS3_PARENTHESIS
  SQLITE_ENABLE_FTS3_TOKENIZER=1
  SQLITE_ENABLE_RTREE=1
  SQLITE_ENABLE_STMTVTAB
  SQLITE_ENABLE_UNLOCK_NOTIFY)
# Third-party code: its warnings are not this project's.
target_compile_options(kk_sqlite3 PRIVATE -w)

# The DLLs the programs load, copied beside them into bin/ so that they start from there, under
# Wine as on Windows: Qt Core and the runtime of mingw-w64's compiler.
set(kk_runtime_dlls "$<TARGET_FILE:Qt6::Core>")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is.")
  endif()
  list(APPEND kk_runtime_dlls "${found}")
endforeach()
add_custom_target(kk_runtime_dlls ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${kk_runtime_dlls} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  VERBATIM)

add_subdirectory(source)
add_subdirectory(util)
add_subdirectory(app)
add_subdirectory(tools)
add_subdirectory(cli)
target_link_libraries(paradox-dump PRIVATE kk_version)
foreach(program paradox-dump paradox2sqlite katalogkonverter-cli)
  add_dependencies(${program} kk_runtime_dlls)
endforeach()

if(KK_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
