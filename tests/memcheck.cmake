# Whole runs of the built tralune under valgrind's memcheck (the demo when demo/ is there, and a script
# of every command). Left out of a sanitizer build: valgrind cannot run a program built with them.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  find_program(TRALUNE_VALGRIND valgrind)
  if(NOT TRALUNE_VALGRIND)
    set(TRALUNE_VALGRIND "")
  endif()
  add_executable(tralune_memcheck_tests testfiles.cpp runner.cpp memcheck_test.cpp)
  target_include_directories(tralune_memcheck_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/cdg)
  target_link_libraries(tralune_memcheck_tests PRIVATE tralune_pcxwrite GTest::gtest_main)
  target_compile_definitions(tralune_memcheck_tests PRIVATE
    TRALUNE_BINARY="$<TARGET_FILE:tralune>"
    TRALUNE_VALGRIND="${TRALUNE_VALGRIND}"
    TRALUNE_DEMO_DIR="${PROJECT_SOURCE_DIR}/demo")
  add_dependencies(tralune_memcheck_tests tralune)
  gtest_discover_tests(tralune_memcheck_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 600)
endif()
