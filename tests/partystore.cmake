# The party's store in-process: names, queries and the fair order as pure functions; the scan of a made
# library, search, the queue and its survival of a killed process on real databases in scratch folders.
tralune_test_group(tralune_partystore_tests
  SOURCES testfiles.cpp partystore_test.cpp
  LIBRARIES tralune_partystore tralune_pcxwrite)
