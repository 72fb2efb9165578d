# GoogleTest: Debian's prebuilt library natively; compiled from Debian's
# googletest sources for the Windows build, where no prebuilt library fits.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # googletest defines the GTest::gtest and GTest::gtest_main aliases itself.
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
