# The calibration page through Wine's spooler: a printer with a pipe port
# that keeps every job as a file and renders it with Ghostscript.
corvanta_test(controlpanel_page_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/page_tests.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tests/page_printer.cpp
  LIBS controlpanel_page corvanta_gui_driver winspool
  DEPENDS corvanta_page_files CorvantaRes TIMEOUT 240)
target_include_directories(controlpanel_page_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests
                           ${PROJECT_SOURCE_DIR}/settings/tests)
set_tests_properties(controlpanel_page_tests PROPERTIES RESOURCE_LOCK corvanta_registry)
