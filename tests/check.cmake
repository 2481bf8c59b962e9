# The script checker: the built tralune-check run on script files as a user runs it.
add_executable(tralune_check_tests testfiles.cpp runner.cpp check_test.cpp)
target_include_directories(tralune_check_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_check_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_check_tests PRIVATE
  TRALUNE_BINARY="$<TARGET_FILE:tralune>"
  CHECK_BINARY="$<TARGET_FILE:tralune-check>")
add_dependencies(tralune_check_tests tralune tralune-check)
gtest_discover_tests(tralune_check_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

# The demo's script checks clean: no error, no warning.
add_test(NAME DemoScriptChecksClean
  COMMAND sh -c "cd \"$1\" && out=$(\"$2\" 2>&1); s=$?; echo \"$out\"; [ $s -eq 0 ] && [ $(echo \"$out\" | wc -l) -eq 1 ] && echo \"$out\" | grep -q ': 0 errors, 0 warnings;'"
          sh ${PROJECT_SOURCE_DIR}/demo $<TARGET_FILE:tralune-check>)
