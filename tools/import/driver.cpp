// The companions' main routine.
#include "driver.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <iostream>

namespace {

std::atomic<bool> stop(false);
volatile sig_atomic_t caught = 0;

// The work sees stop between its steps and while a tool runs, and cleans up before the program ends
// with the signal's own status.
void interrupted(int sig)
{
    caught = sig;
    stop = true;
}

} // namespace

int importmain(const importer& im, int argc, char** argv)
{
    importjob job;
    job.format = im.format;
    job.heading = im.program;
    std::string noun = im.noun;
    bool stream = im.source == songsource::STREAM;
    if (stream)
        job.o.output.clear();
    cmdline cl(im.program, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            im.usage();
            return 0;
        } else if (im.option && im.option(cl, job)) {
        } else if (!stream && importoption(cl, job.o, im.source == songsource::NAMED)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!job.input.empty()) {
            cl.fail("only one " + noun + ", please: " + quoted(job.input) + " and " + quoted(cl.arg()) + " were given" +
                    (im.source == songsource::NAMED && job.o.songwanted && job.o.songfile.empty()
                         ? " (a song to link is given as --song=FILE)" : ""));
        } else if (cl.arg().empty()) {
            cl.fail(noun == "song" ? "the song's file name is empty" : "the " + noun + " name is empty");
        } else {
            job.input = cl.arg();
        }
    }
    if (job.input.empty())
        cl.fail("no " + noun + " given (see " + im.program + " --help)");
    if (im.source == songsource::GIVEN && job.o.songwanted && job.o.songfile.empty())
        cl.fail("--song needs the song file");
    if (im.check)
        im.check(cl, job);

    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, interrupted);
    report r(job.input);
    int status = 0;
    try {
        if (!(im.instead && im.instead(job, r))) {
            songtags tags;
            std::string script = preparesong(job, r, &stop, &tags);
            if (job.o.output == "-") {
                std::cout << script << std::flush;
                if (!std::cout)
                    r.fail("cannot write the script to standard output");
            }
        }
    } catch (const importfailure& f) {
        if (!caught)
            fprintf(stderr, "%s\n", f.text().c_str());
        status = 1;
    }
    if (caught) {
        signal(caught, SIG_DFL);
        raise(caught);
    }
    return status;
}
