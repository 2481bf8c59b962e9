# The party's big screen: its pure parts in-process (controls, text line, order of screens, screen
# drawing, options) and the song player's start and stop.
add_executable(tralune_party_tests fakevideo.cpp testfiles.cpp partycontrol_test.cpp partytextline_test.cpp
  partyflow_test.cpp partyscreen_test.cpp partyoptions_test.cpp songplayer_test.cpp)
target_include_directories(tralune_party_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/party)
target_link_libraries(tralune_party_tests PRIVATE tralune_partyscreen tralune_partycontrol tralune_songplayer
  tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
gtest_discover_tests(tralune_party_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
