# GoogleTest for the system the tests are built for. A native build uses the
# installed package; a cross build compiles it from Debian's sources
# (package googletest, /usr/src/googletest) with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  set(PWLEVEL_GTEST_SOURCE /usr/src/googletest CACHE PATH
      "GoogleTest sources to compile for the target system")
  if(NOT EXISTS ${PWLEVEL_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${PWLEVEL_GTEST_SOURCE} "
                        "(Debian package googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PWLEVEL_GTEST_SOURCE}
                   ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
