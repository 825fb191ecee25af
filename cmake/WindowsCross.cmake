# What a cross build for Windows needs beside its compilers: Boost's headers, GoogleTest built by the
# same compiler, and wine to run the tests. Included before the project's warning flags, so GoogleTest is
# built with its own.

# Boost is header-only for us. Only the boost/ folder of the host's headers is shown to the cross
# compiler, through a folder of the build holding one link: the rest of the host's /usr/include would
# shadow the Windows C library.
set(FERNPAD_BOOST_ROOT "/usr/include/boost" CACHE PATH "The host's Boost header folder used by the cross build")
if(NOT EXISTS "${FERNPAD_BOOST_ROOT}/version.hpp")
  message(FATAL_ERROR "No Boost headers at ${FERNPAD_BOOST_ROOT} (Debian: libboost1.81-dev)")
endif()
set(FERNPAD_CROSS_INCLUDE "${CMAKE_BINARY_DIR}/cross-include")
file(MAKE_DIRECTORY "${FERNPAD_CROSS_INCLUDE}")
file(CREATE_LINK "${FERNPAD_BOOST_ROOT}" "${FERNPAD_CROSS_INCLUDE}/boost" SYMBOLIC)
add_library(Boost::headers INTERFACE IMPORTED)
target_include_directories(Boost::headers SYSTEM INTERFACE "${FERNPAD_CROSS_INCLUDE}")
target_compile_definitions(Boost::headers INTERFACE WIN32_LEAN_AND_MEAN)
target_link_libraries(Boost::headers INTERFACE ws2_32 mswsock)

# Windows 10 APIs; min and max stay the standard library's.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX)

if(FERNPAD_BUILD_TESTS)
  set(FERNPAD_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest's sources (Debian: googletest)")
  if(NOT EXISTS "${FERNPAD_GTEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest sources at ${FERNPAD_GTEST_SOURCE} (Debian: googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory("${FERNPAD_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})  # newer GoogleTest releases define these themselves
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()

  # The tests run under wine, in a wine prefix of this build on the X display in $DISPLAY
  # (scripts/test-windows.sh makes both).
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
  endif()
endif()
