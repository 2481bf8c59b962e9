// The floor a program could reach on a script: opens the same full-screen display as the player and
// makes the same refresh after every line of the script, but draws nothing and decodes nothing; it only
// waits where the script's "sleep", "usleep" and "at" lines wait. The bench runs it beside the player.
#include "barescreen.h"

#include <SDL.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::ifstream in(argc > 1 ? argv[1] : "script.txt");
    if (!in.is_open())
        return 1;
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        return 1;
    atexit(SDL_Quit);
    SDL_Rect where;
    SDL_Surface* screen = bench::openbare(where);
    if (!screen)
        return 1;
    SDL_ShowCursor(0);
    // The player's refresh as it was: one opaque surface laid over the frame, blitted and flipped; on a
    // larger display the whole picture at that size.
    static Uint32 frame[640 * 480];
    SDL_Surface* surface = bench::barepicture(frame, where);
    if (!surface)
        return 1;
    SDL_Event event;
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "sleep(") == 0 && atoi(line.c_str() + 6) > 0)
            sleep(unsigned(atoi(line.c_str() + 6)));
        else if (line.compare(0, 7, "usleep(") == 0 && atoi(line.c_str() + 7) > 0)
            usleep(useconds_t(atoi(line.c_str() + 7)));
        else if (line.compare(0, 3, "at(") == 0) {
            // Seconds only, the form the bench and the demo write: 1.5 s + that after the start.
            long long ns = (long long)start.tv_sec * 1000000000 + start.tv_nsec + 1500000000 +
                           (long long)(atof(line.c_str() + 3) * 1e9 + 0.5);
            timespec until = {time_t(ns / 1000000000), long(ns % 1000000000)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
            }
        }
        bench::showbare(surface, screen, where);
        SDL_PollEvent(&event);
    }
    SDL_FreeSurface(surface);
    return 0;
}
