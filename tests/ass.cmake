# The ASS/SSA importer: the built tralune-ass run on subtitle files as a user runs it, its scripts
# checked by the built tralune-check.
tralune_test_group(tralune_ass_tests
  SOURCES testfiles.cpp runner.cpp ass_test.cpp
  LIBRARIES tralune_pcxwrite
  PROGRAMS tralune-ass tralune-check)
