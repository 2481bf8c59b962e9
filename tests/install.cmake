# The manual pages render cleanly, and an install holds every program and every page, and plays the demo.
add_test(NAME ManualPagesRenderWithoutWarnings
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/install_test.sh pages ${PROJECT_SOURCE_DIR})
add_test(NAME InstallHoldsProgramsAndPages
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/install_test.sh install ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
set_tests_properties(ManualPagesRenderWithoutWarnings InstallHoldsProgramsAndPages PROPERTIES TIMEOUT 300)
