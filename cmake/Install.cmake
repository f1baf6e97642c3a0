# Installation: the header, the shared library, the tool and its manual page
# in the GNUInstallDirs places, a CMake package (find_package(pwlevel) gives
# pwlevel::pwlevel) and a pkg-config file. The version comes from project()
# alone.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(pwlevel_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/pwlevel")

# The shared library's file names and ELF SONAME: libpwlevel.so.1 for every
# 1.x release, whose interface a program built against 1.0 can rely on.
set_target_properties(pwlevel PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(pwlevel PUBLIC
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The same name for a project that builds pwlevel as a subdirectory.
add_library(pwlevel::pwlevel ALIAS pwlevel)

install(TARGETS pwlevel EXPORT pwlevelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/pwlevel.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS pwlevel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual page names the default path as this build resolves it.
string(REGEX REPLACE "^[A-Za-z]:" "" pwlevel_native_default_path
  "${PWLEVEL_DEFAULT_PATH}")
string(REPLACE "\\" "/" pwlevel_native_default_path
  "${pwlevel_native_default_path}")
if(WIN32)
  set(pwlevel_native_default_path "${PWLEVEL_DEFAULT_PATH}")
endif()
# roff reads a backslash as an escape: \e prints one.
string(REPLACE "\\" "\\e" PWLEVEL_MAN_DEFAULT_PATH
  "${pwlevel_native_default_path}")
string(REPLACE "\\" "\\e" PWLEVEL_MAN_CONFIGURED_PATH "${PWLEVEL_DEFAULT_PATH}")
configure_file(tools/pwlevel/pwlevel.1.in
  ${PROJECT_BINARY_DIR}/man/pwlevel.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/man/pwlevel.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(EXPORT pwlevelTargets
  NAMESPACE pwlevel::
  DESTINATION ${pwlevel_cmake_dir}
 )
configure_package_config_file(cmake/pwlevelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/pwlevelConfig.cmake
  INSTALL_DESTINATION ${pwlevel_cmake_dir})
# Any 1.x release serves a program that asks for 1.y with y at most x.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/pwlevelConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/pwlevelConfig.cmake
  ${PROJECT_BINARY_DIR}/pwlevelConfigVersion.cmake
  DESTINATION ${pwlevel_cmake_dir}
 )

# pwlevel.pc finds the prefix from its own place (${pcfiledir}), so it stays
# right when `cmake --install --prefix` puts the files elsewhere than the
# prefix the build was configured with.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(PWLEVEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(PWLEVEL_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH pwlevel_pc_up
    "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" pwlevel_pc_up "${pwlevel_pc_up}")
  set(PWLEVEL_PC_PREFIX "\${pcfiledir}/${pwlevel_pc_up}")
  set(PWLEVEL_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(PWLEVEL_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(PWLEVEL_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(cmake/pwlevel.pc.in ${PROJECT_BINARY_DIR}/pwlevel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pwlevel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
 )
