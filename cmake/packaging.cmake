# Release packages. On Linux: a .deb that installs everything into
# /opt/zplport (the programs read their INI files from their own folder, so
# executables and samples stay together) and links the programs and the
# desktop entry into the system's places; and a portable tar.gz of the same
# folder.
if(WIN32)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS zplport-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET zplport-printer)
  install(TARGETS zplport-printer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES samples/Config.ini samples/file.ini DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME zplport)
set(CPACK_PACKAGE_VENDOR "zplport")
set(CPACK_PACKAGE_CONTACT "zplport maintainers <maintainers@zplport.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZPL label printer test tool for parallel and network ports")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)

# The tar.gz unpacks into one folder that runs where it lands.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_FILE_NAME "zplport-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-wqy-microhei")
# The loopback printer draws font 0 in a narrow bold face and falls back
# from one to the other.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation | fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only the .deb goes to /opt; the tar.gz keeps relative paths.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-per-generator.cmake)

include(CPack)
