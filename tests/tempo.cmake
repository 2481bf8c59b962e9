# The singer's key and tempo: renders measured in-process on songs made by sox and lame and decoded as
# mpg123 plays them, and the options run end to end with the stub song player and a cache of their own.
add_executable(tralune_render_tests testfiles.cpp render_test.cpp)
target_include_directories(tralune_render_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_render_tests PRIVATE tralune_music tralune_pcxwrite GTest::gtest_main)
gtest_discover_tests(tralune_render_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

add_executable(tralune_tempo_tests testfiles.cpp runner.cpp tempo_test.cpp)
target_include_directories(tralune_tempo_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_tempo_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
target_compile_definitions(tralune_tempo_tests PRIVATE TRALUNE_BINARY="$<TARGET_FILE:tralune>")
add_dependencies(tralune_tempo_tests tralune)
gtest_discover_tests(tralune_tempo_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
