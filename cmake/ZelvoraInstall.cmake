# What `cmake --install` puts in place for hosts: the SDK's static libraries, the shared library
# libzelvora.so.1 and the public headers, a CMake package (find_package(zelvora) with the
# components headless and gtk), pkg-config files (zelvora, zelvora-headless, zelvora-gtk), and the
# reference server with its sample campaigns, assets and VAST documents to test a host against.
include(CMakePackageConfigHelpers)

set(ZELVORA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/zelvora)
set(ZELVORA_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Each export set is loaded by the package only when what it needs is asked for: the SDK itself
# (always), what both backends use, and each backend.
set(ZELVORA_CORE_TARGETS zelvora zelvora_platform)
if(TARGET zelvora_shared)
  list(APPEND ZELVORA_CORE_TARGETS zelvora_shared)
endif()
set(ZELVORA_COMPONENTS headless)
set(ZELVORA_INSTALL_HEADERS
  ${PROJECT_SOURCE_DIR}/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/render/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/gst/include/zelvora
  ${PROJECT_SOURCE_DIR}/platform/headless/include/zelvora)
if(TARGET zelvora_gtk)
  list(APPEND ZELVORA_COMPONENTS gtk)
  list(APPEND ZELVORA_INSTALL_HEADERS ${PROJECT_SOURCE_DIR}/platform/gtk/include/zelvora)
endif()

install(TARGETS ${ZELVORA_CORE_TARGETS} EXPORT zelvoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS zelvora_render zelvora_gst EXPORT zelvoraBackendTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS zelvora_headless EXPORT zelvoraHeadlessTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
if(TARGET zelvora_gtk)
  set(gtk_targets zelvora_gtk)
  if(TARGET zelvora_shared_gtk)
    list(APPEND gtk_targets zelvora_shared_gtk)
  endif()
  install(TARGETS ${gtk_targets} EXPORT zelvoraGtkTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
foreach(set zelvoraTargets zelvoraBackendTargets zelvoraHeadlessTargets zelvoraGtkTargets)
  if(set STREQUAL "zelvoraGtkTargets" AND NOT TARGET zelvora_gtk)
    continue()
  endif()
  install(EXPORT ${set} NAMESPACE zelvora::
    DESTINATION ${ZELVORA_INSTALL_CMAKEDIR} COMPONENT development)
endforeach()

# The header trees all start at zelvora/ and merge into one.
install(DIRECTORY ${ZELVORA_INSTALL_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/generated/include/zelvora/Version.h
  ${PROJECT_BINARY_DIR}/generated/export/zelvora/JsonAbi.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelvora COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelvoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zelvoraConfig.cmake
  INSTALL_DESTINATION ${ZELVORA_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zelvoraConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zelvoraConfig.cmake ${PROJECT_BINARY_DIR}/zelvoraConfigVersion.cmake
  DESTINATION ${ZELVORA_INSTALL_CMAKEDIR} COMPONENT development)

# The .pc files find their prefix from where they lie, so `cmake --install --prefix` may put the
# tree anywhere.
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
foreach(pc zelvora ${ZELVORA_COMPONENTS})
  if(pc STREQUAL "zelvora")
    set(file zelvora.pc)
  else()
    set(file zelvora-${pc}.pc)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${file}.in ${PROJECT_BINARY_DIR}/${file} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${file}
    DESTINATION ${ZELVORA_PKGCONFIGDIR} COMPONENT development)
endforeach()

install(TARGETS zelvora-adserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/server/campaigns ${PROJECT_SOURCE_DIR}/server/assets
  ${PROJECT_SOURCE_DIR}/server/vast
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zelvora/server COMPONENT server)
