# The party's big screen: its pure parts in-process (controls, text line, order of screens, screen
# drawing, options) and the song player's start and stop.
add_executable(tralune_party_tests fakevideo.cpp testfiles.cpp partycontrol_test.cpp partytextline_test.cpp
  partyflow_test.cpp partyscreen_test.cpp partyoptions_test.cpp songplayer_test.cpp)
target_include_directories(tralune_party_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/party)
target_link_libraries(tralune_party_tests PRIVATE tralune_partyscreen tralune_partycontrol tralune_songplayer
  tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
gtest_discover_tests(tralune_party_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

# The keyboard's picker against a real store.
if(TARGET tralune_party)
  add_executable(tralune_partypicker_tests fakevideo.cpp testfiles.cpp partypicker_test.cpp)
  target_include_directories(tralune_partypicker_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tralune_partypicker_tests PRIVATE tralune_party tralune_pcxwrite GTest::gtest_main)
  gtest_discover_tests(tralune_partypicker_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
endif()

# tralune-party end to end on a private X server with a stand-in song player, keys sent with xdotool.
if(TARGET tralune-party)
  add_executable(tralune_partyrun_tests testfiles.cpp runner.cpp xscreen.cpp partyrun_test.cpp)
  target_include_directories(tralune_partyrun_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/party)
  target_link_libraries(tralune_partyrun_tests PRIVATE tralune_partystore tralune_pcxwrite GTest::gtest_main
    Threads::Threads)
  target_compile_definitions(tralune_partyrun_tests PRIVATE TRALUNE_BINARY="$<TARGET_FILE:tralune>"
    PARTY_BINARY="$<TARGET_FILE:tralune-party>")
  add_dependencies(tralune_partyrun_tests tralune tralune-party)
  gtest_discover_tests(tralune_partyrun_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 150 LABELS screen)
endif()
