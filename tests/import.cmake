# The import path in-process: the readers fed bytes, the writer, the song folder's commit, and importsong
# beside the companions it stands for.
tralune_test_group(tralune_import_tests
  SOURCES testfiles.cpp runner.cpp import_test.cpp
  LIBRARIES tralune_import tralune_pcxwrite
  PROGRAMS tralune-lrc tralune-ultrastar tralune-ass tralune-kar tralune-cdg)
