# The phone page: the JSON writer and reader, the address, the QR code read back by zbarimg, and the
# interface in-process and over a socket on a real store.
add_executable(tralune_phone_tests fakevideo.cpp testfiles.cpp phonefixture.cpp phonelibrary.cpp json_test.cpp netaddr_test.cpp
  qrcode_test.cpp phoneapi_test.cpp web_test.cpp)
target_include_directories(tralune_phone_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tools)
target_link_libraries(tralune_phone_tests PRIVATE tralune_phone tralune_partyscreen tralune_font tralune_gfx tralune_pcxwrite GTest::gtest_main)
gtest_discover_tests(tralune_phone_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

# The page in a real browser: Chromium headless driven by Selenium, against the page's server run on its
# own on a real store.
add_executable(tralune_phoneserve phoneserve.cpp phonelibrary.cpp fakevideo.cpp)
target_include_directories(tralune_phoneserve PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tralune_phoneserve PRIVATE tralune_phone tralune_font tralune_gfx)
add_test(NAME PhonePageInABrowser
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/phone_browser.py serve $<TARGET_FILE:tralune_phoneserve>)
set_tests_properties(PhonePageInABrowser PROPERTIES TIMEOUT 120 LABELS browser)

# The same page served by the party itself on a private Xvfb, with a stand-in song player: the QR code
# read back from the screen, the song queued from the page heard, the host's skip.
if(TARGET tralune-party)
  add_test(NAME PhonePageAtAParty
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/phone_browser.py party $<TARGET_FILE:tralune-party>
            ${PROJECT_SOURCE_DIR}/demo/gnusong.mp3)
  set_tests_properties(PhonePageAtAParty PROPERTIES TIMEOUT 180 LABELS "browser;screen")
endif()
