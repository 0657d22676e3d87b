# How the Debian package's programs are built; included by the top-level CMakeLists.txt before
# any target is made.
#
# KK_SOURCE_DATE_EPOCH: the time of the newest entry of packaging/changelog (or SOURCE_DATE_EPOCH
# from the environment), the one time stamp a package build puts anywhere: CPack's archive
# members (packaging/CMakeLists.txt) and, with KK_DEBIAN_BUILDFLAGS, Qt's resource data.
#
# KK_DEBIAN_BUILDFLAGS (off by default, so that a developer's build stays as it is): compile and
# link with Debian's flags as dpkg-buildflags gives them, with every hardening feature (stack
# protector, _FORTIFY_SOURCE with optimisation, format checks, read-only relocations,
# immediate binding, stack clash and control-flow protection), and map the source and build
# directories away from file names in the objects, so that two builds in different directories
# give the same bytes.

if(WIN32)
  return()
endif()

set(KK_SOURCE_DATE_EPOCH "")
find_program(KK_DPKG_PARSECHANGELOG dpkg-parsechangelog)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(KK_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  if(KK_DPKG_PARSECHANGELOG)
    execute_process(
      COMMAND ${KK_DPKG_PARSECHANGELOG} -l ${PROJECT_SOURCE_DIR}/packaging/changelog -S Timestamp
      OUTPUT_VARIABLE KK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
endif()
# A new changelog entry gives a new time stamp.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)

option(KK_DEBIAN_BUILDFLAGS
       "Build with Debian's compiler and linker flags (dpkg-buildflags), reproducibly, as for the package" OFF)
if(NOT KK_DEBIAN_BUILDFLAGS)
  return()
endif()

find_program(KK_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
# hardening=+all adds immediate binding (-z now) to Debian's default features; options set by
# the caller come after it and win. Run in the source directory, dpkg-buildflags maps that
# directory to "." (-ffile-prefix-map).
set(maint_options "hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}")
foreach(kind IN ITEMS CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${maint_options}"
            ${KK_DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE KK_DEB_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# From dpkg 1.22 on, Debian's flags also guard against stack clashes and, on x86, protect
# indirect branches (-fcf-protection); hardening-check looks for both. Where dpkg-buildflags is
# older (Debian 12), the compiler's own switches are added when it takes them.
include(CheckCXXCompilerFlag)
foreach(flag IN ITEMS -fstack-clash-protection -fcf-protection)
  string(FIND " ${KK_DEB_CXXFLAGS} " " ${flag}" given)
  string(MAKE_C_IDENTIFIER "KK_HAS${flag}" has_flag)
  if(given EQUAL -1)
    check_cxx_compiler_flag(${flag} ${has_flag})
    if(${has_flag})
      string(APPEND KK_DEB_CFLAGS " ${flag}")
      string(APPEND KK_DEB_CXXFLAGS " ${flag}")
    endif()
  endif()
endforeach()
# The build directory's name (moc's and rcc's output, the compilers' working directories) goes
# the same way. GCC takes the last map that matches, so this one also wins for a build
# directory inside the source directory.
set(map_build "-ffile-prefix-map=${CMAKE_BINARY_DIR}=./build")
string(APPEND CMAKE_C_FLAGS " ${KK_DEB_CPPFLAGS} ${KK_DEB_CFLAGS} ${map_build}")
string(APPEND CMAKE_CXX_FLAGS " ${KK_DEB_CPPFLAGS} ${KK_DEB_CXXFLAGS} ${map_build}")
foreach(kind IN ITEMS EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${KK_DEB_LDFLAGS}")
endforeach()
message(STATUS "Debian build flags: ${KK_DEB_CPPFLAGS} ${KK_DEB_CXXFLAGS} ${map_build}; ${KK_DEB_LDFLAGS}")

# Qt's resource compiler stores each file's time of change unless SOURCE_DATE_EPOCH is set
# while it runs: every custom command of the build (rcc, and the manual pages' gzip) gets it.
if(KK_SOURCE_DATE_EPOCH)
  set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
               "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KK_SOURCE_DATE_EPOCH}")
endif()
unset(given)
unset(has_flag)
unset(maint_options)
unset(map_build)
