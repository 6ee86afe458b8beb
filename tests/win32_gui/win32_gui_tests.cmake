# The black-box test of zplport.exe's windows, run under Wine on a virtual X
# display by scripts/gui-test-run. Read at the end of the top-level
# directory, once GoogleTest and the test support library are defined.
set(zplport_gui_dir ${CMAKE_CURRENT_LIST_DIR})

add_executable(zplport_gui_tests
  ${zplport_gui_dir}/gui_test.cpp
  ${zplport_gui_dir}/app_driver.cpp
  ${zplport_gui_dir}/png_writer.cpp
)
target_include_directories(zplport_gui_tests PRIVATE ${zplport_gui_dir})
target_link_libraries(zplport_gui_tests PRIVATE zplport_test_support zplport_ui_model
  zplport_warnings gdi32)
add_dependencies(zplport_gui_tests zplport)

# On an ordinary screen and on one of 144 dots per inch, where every size
# grows by half.
foreach(dpi 96 144)
  if(dpi EQUAL 96)
    set(name zplport_gui_tests)
  else()
    set(name zplport_gui_tests_${dpi}dpi)
  endif()
  add_test(NAME ${name}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/gui-test-run $<TARGET_FILE:zplport_gui_tests>
            $<TARGET_FILE:zplport> ${PROJECT_BINARY_DIR}/screenshots/${dpi}dpi)
  # 77: no X server or Wine to run windows on.
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300
    ENVIRONMENT ZPLPORT_GUI_DPI=${dpi})
endforeach()
