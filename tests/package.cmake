# The Debian package holds what the build installs, where Debian wants it, with the right control fields.
add_test(NAME PackageHoldsWhatTheBuildInstalls
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(PackageHoldsWhatTheBuildInstalls PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77 LABELS package)
