# The Windows release: one zip that unpacks into a folder an operator runs
# from, with both programs, the sample INI files beside them and a short
# guide. Included from the top-level directory, where CPack must be set up.
install(TARGETS zplport zplport-cli RUNTIME DESTINATION .)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/Config.ini
  ${PROJECT_SOURCE_DIR}/samples/file.ini
  ${PROJECT_SOURCE_DIR}/src/ui/win32/package/使用说明.txt
  DESTINATION .)

set(CPACK_PACKAGE_NAME zplport)
set(CPACK_PACKAGE_VENDOR "zplport")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CPACK_PACKAGE_FILE_NAME "zplport-${PROJECT_VERSION}-windows-x86")
else()
  set(CPACK_PACKAGE_FILE_NAME "zplport-${PROJECT_VERSION}-windows-x64")
endif()
include(CPack)
