# What `cmake --install` puts where, for hosts and packages: the library in
# the (multiarch) library folder, the public headers in include/vexao105/, a
# pkg-config module and a CMake package.

install(TARGETS vexao105 EXPORT vexao105Targets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# In the source tree each public header lives with the code it describes and
# names the others by their folder. Installed side by side they name each
# other by file name, so a host needs only <vexao105/output_api.h>.
set(VEXAO_PUBLIC_HEADERS
  output/output_api.h
  command/command_api.h
  compress/compress_api.h
  toolbox/toolbox_api.h
  toolbox/resource_api.h
  toolbox/export.h)
foreach(header ${VEXAO_PUBLIC_HEADERS})
  file(READ ${PROJECT_SOURCE_DIR}/${header} text)
  string(REGEX REPLACE "#include \"(output|command|compress|toolbox)/" "#include \"" text "${text}")
  get_filename_component(name ${header} NAME)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/include/vexao105/${name} CONTENT "${text}" @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/include/vexao105/${name} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexao105)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/cmake/vexao105.pc.in ${PROJECT_BINARY_DIR}/vexao105.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexao105.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

include(CMakePackageConfigHelpers)
set(VEXAO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vexao105)
install(EXPORT vexao105Targets NAMESPACE vexao105:: DESTINATION ${VEXAO_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vexao105Config.cmake.in
                              ${PROJECT_BINARY_DIR}/vexao105Config.cmake INSTALL_DESTINATION ${VEXAO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vexao105ConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vexao105Config.cmake ${PROJECT_BINARY_DIR}/vexao105ConfigVersion.cmake
        DESTINATION ${VEXAO_CMAKE_DIR})
