# The Windows build, included by the top-level CMakeLists.txt on WIN32: cross-built with
# mingw-w64 against the Windows Qt (its toolchain file), tested under Wine.
# scripts/windows-build prepares and runs it.

enable_language(C)

# The desktop program's windows: Qt Gui and Widgets of the Windows Qt.
if(KK_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Gui Widgets)
endif()

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
# Wine as on Windows: Qt Core and the runtime of mingw-w64's compiler; for the windows also Qt
# Gui and Widgets with the plugins Qt looks for beside the executable: the Windows platform
# (and the offscreen one, which the window tests use) and the Windows style.
set(kk_runtime_dlls "$<TARGET_FILE:Qt6::Core>")
set(kk_runtime_plugins)
if(KK_BUILD_GUI)
  list(APPEND kk_runtime_dlls "$<TARGET_FILE:Qt6::Gui>" "$<TARGET_FILE:Qt6::Widgets>")
  if(KK_BUILD_TESTS)
    # The window tests drive the widgets with Qt Test.
    find_package(Qt6 REQUIRED COMPONENTS Test)
    list(APPEND kk_runtime_dlls "$<TARGET_FILE:Qt6::Test>")
  endif()
  set(kk_runtime_plugins
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>"
            "$<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>" ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>"
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/styles)
  # Qt's German texts (its file dialog's), from Debian's qt6-translations-l10n where installed:
  # the program looks for them in translations/ beside itself.
  set(KK_QT_TRANSLATIONS /usr/share/qt6/translations CACHE PATH "Folder holding Qt's qtbase_de.qm")
  if(EXISTS ${KK_QT_TRANSLATIONS}/qtbase_de.qm)
    list(APPEND kk_runtime_plugins
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/translations
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KK_QT_TRANSLATIONS}/qtbase_de.qm
              ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/translations)
  endif()
endif()
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
  ${kk_runtime_plugins}
  VERBATIM)

add_subdirectory(source)
add_subdirectory(util)
if(KK_BUILD_GUI)
  add_subdirectory(dialogs)
endif()
add_subdirectory(app)
add_subdirectory(tools)
add_subdirectory(cli)
target_link_libraries(paradox-dump PRIVATE kk_version)

# What Windows shows of each program: the icon (app/images/katalogkonverter.ico, which
# scripts/make-icon makes from the program's pictures), the version information of Explorer's
# Details tab and the Task Manager, and an application manifest (cmake/WindowsProgram.*.in).
# The manifest asks for no UTF-8 code page: every name reaches the programs through the
# system's UTF-16 calls (Qt, GetCommandLineW, CreateFileW) and every console text goes out as
# UTF-16, so it would change nothing but the C runtime's narrow functions, which msvcrt.dll
# does not make for code page 65001.
set(KK_PUBLISHER "Katalogkonverter-Entwickler")
set(KK_COPYRIGHT "© 2026 Katalogkonverter-Entwickler, MIT-Lizenz")
function(kk_windows_program_resources kk_program kk_description)
  set(kk_icon ${PROJECT_SOURCE_DIR}/app/images/katalogkonverter.ico)
  set(kk_version_minor 0)
  set(kk_version_patch 0)
  if(NOT PROJECT_VERSION_MINOR STREQUAL "")
    set(kk_version_minor ${PROJECT_VERSION_MINOR})
  endif()
  if(NOT PROJECT_VERSION_PATCH STREQUAL "")
    set(kk_version_patch ${PROJECT_VERSION_PATCH})
  endif()
  set(kk_version_quad "${PROJECT_VERSION_MAJOR}.${kk_version_minor}.${kk_version_patch}.0")
  set(kk_manifest ${CMAKE_BINARY_DIR}/generated/${kk_program}.manifest)
  set(kk_rc ${CMAKE_BINARY_DIR}/generated/${kk_program}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/WindowsProgram.manifest.in ${kk_manifest} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/WindowsProgram.rc.in ${kk_rc} @ONLY)
  target_sources(${kk_program} PRIVATE ${kk_rc})
  set_source_files_properties(${kk_rc} TARGET_DIRECTORY ${kk_program} PROPERTIES OBJECT_DEPENDS "${kk_icon};${kk_manifest}")
endfunction()

foreach(entry "katalogkonverter|Katalogkonverter"
              "katalogkonverter-cli|Katalogkonverter für die Eingabeaufforderung"
              "paradox-dump|Paradox-Tabelle ausgeben (paradox-dump)"
              "paradox2sqlite|Paradox-Tabellen nach SQLite übernehmen (paradox2sqlite)")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 description)
  if(TARGET ${program})
    add_dependencies(${program} kk_runtime_dlls)
    kk_windows_program_resources(${program} "${description}")
  endif()
endforeach()

if(KK_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
