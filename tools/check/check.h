// tralune-check's work: every problem of a script listed at once, with the script read, split, measured
// and decoded by the player's own units, so that the check can never disagree with a run.
#ifndef TRALUNE_CHECK_H
#define TRALUNE_CHECK_H

#include <ostream>
#include <string>

// Checks the script at path, with the font at fontpath and the pictures it names looked up from the
// current folder, as the player looks them up. Writes one line per problem to out: first, once each,
// "SCRIPT: warning: ..." when the font cannot be loaded or the current folder has no song
// (gnusong.mp3); then in line order "SCRIPT:LINE: error: ..." where the player would stop and
// "SCRIPT:LINE: warning: ..." where it plays on but not as meant; after an error it goes on as if the error were mended. Ends with a summary line:
// the counts and the script's length in song time, the moment its last wait ends.
// 1 when there is an error, a script that cannot be opened included (one line naming it); else 0.
int checkscript(const std::string& path, const std::string& fontpath, std::ostream& out);

#endif
