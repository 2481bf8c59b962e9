# Inputs that once went wrong (most found by the fuzz targets in fuzz/) and hostile inputs to the built
# program, each pinned to its defined result.
add_executable(tralune_regression_tests fakevideo.cpp testfiles.cpp runner.cpp regression_test.cpp)
target_include_directories(tralune_regression_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_regression_tests PRIVATE tralune_script tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_regression_tests PRIVATE TRALUNE_BINARY="$<TARGET_FILE:tralune>")
add_dependencies(tralune_regression_tests tralune)
gtest_discover_tests(tralune_regression_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
