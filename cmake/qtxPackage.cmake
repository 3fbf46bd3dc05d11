# The installed package: find_package(qtx) reads qtxConfig.cmake, which finds
# the outside libraries the layers link and then imports the layers as
# qtx::<layer> (and every layer as qtx::qtx). pkg-config users get qtx.pc,
# the whole library in one module.
include(CMakePackageConfigHelpers)

set(qtx_config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/qtx)
install(EXPORT qtxTargets NAMESPACE qtx:: DESTINATION ${qtx_config_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/qtxConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/qtxConfig.cmake INSTALL_DESTINATION ${qtx_config_dir})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qtxConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qtxConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/qtxConfigVersion.cmake
  DESTINATION ${qtx_config_dir})

# The archives, each before the layers it uses (the layers are declared lower
# layers first), so that a static link resolves in one pass.
get_property(qtx_layers GLOBAL PROPERTY qtx_layers)
list(REVERSE qtx_layers)
set(QTX_PC_LIBS)
foreach(layer ${qtx_layers})
  get_target_property(type ${layer} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    string(APPEND QTX_PC_LIBS " -l${layer}")
  endif()
endforeach()
foreach(lib ${CMAKE_DL_LIBS})
  string(APPEND QTX_PC_LIBS " -l${lib}")
endforeach()
# The file finds the prefix from its own place, so the install may move.
file(RELATIVE_PATH QTX_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" QTX_PC_PREFIX ${QTX_PC_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/qtx.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qtx.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qtx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
