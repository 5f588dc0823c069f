# What `cmake --install` puts in place for hosts: the SDK's static libraries and public headers,
# a CMake package (find_package(zelvora)), a pkg-config file, and the reference server with its
# sample campaigns and assets to test a host against.
include(CMakePackageConfigHelpers)

set(ZELVORA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/zelvora)

set(ZELVORA_INSTALL_TARGETS zelvora zelvora_platform zelvora_render zelvora_gst zelvora_headless)
set(ZELVORA_INSTALL_HEADERS
  ${PROJECT_SOURCE_DIR}/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/render/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/gst/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/headless/include/zelvora)
# What the .pc file adds for the GTK backend (nothing without it).
set(ZELVORA_PC_GTK_CFLAGS "")
set(ZELVORA_PC_GTK_REQUIRES "")
set(ZELVORA_PC_GTK_LIBS "")
if(TARGET zelvora_gtk)
  list(APPEND ZELVORA_INSTALL_TARGETS zelvora_gtk)
  list(APPEND ZELVORA_INSTALL_HEADERS ${PROJECT_SOURCE_DIR}/platform/gtk/include/zelvora)
  set(ZELVORA_PC_GTK_CFLAGS " -DZELVORA_HAS_GTK=1")
  set(ZELVORA_PC_GTK_REQUIRES ", gtk+-3.0, webkit2gtk-4.1, x11")
  set(ZELVORA_PC_GTK_LIBS " -lzelvora_gtk")
endif()

install(TARGETS ${ZELVORA_INSTALL_TARGETS}
  EXPORT zelvoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# The header trees all start at zelvora/ and merge into one.
install(DIRECTORY ${ZELVORA_INSTALL_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/generated/include/zelvora/Version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelvora COMPONENT development)

install(EXPORT zelvoraTargets
  NAMESPACE zelvora::
  DESTINATION ${ZELVORA_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelvoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zelvoraConfig.cmake
  INSTALL_DESTINATION ${ZELVORA_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zelvoraConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zelvoraConfig.cmake ${PROJECT_BINARY_DIR}/zelvoraConfigVersion.cmake
  DESTINATION ${ZELVORA_INSTALL_CMAKEDIR} COMPONENT development)

# The .pc file finds its prefix from where it lies, so `cmake --install --prefix` may put the
# tree anywhere.
set(ZELVORA_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${ZELVORA_PKGCONFIGDIR}")
  set(ZELVORA_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH up "/${ZELVORA_PKGCONFIGDIR}" "/")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(ZELVORA_PC_PREFIX "\${pcfiledir}/${up}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(ZELVORA_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(ZELVORA_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/zelvora.pc.in ${PROJECT_BINARY_DIR}/zelvora.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zelvora.pc
  DESTINATION ${ZELVORA_PKGCONFIGDIR} COMPONENT development)

install(TARGETS zelvora-adserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/server/campaigns ${PROJECT_SOURCE_DIR}/server/assets
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zelvora/server COMPONENT server)
