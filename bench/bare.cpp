// The floor a program could reach on a script: opens the same full-screen display as the player and
// makes the same refresh after every line of the script, but draws nothing and decodes nothing; it only
// waits where the script's "sleep" and "usleep" lines wait. The bench runs it beside the player.
#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    std::ifstream in(argc > 1 ? argv[1] : "script.txt");
    if (!in.is_open())
        return 1;
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        return 1;
    atexit(SDL_Quit);
    SDL_Surface* screen = SDL_SetVideoMode(640, 480, 32, SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_FULLSCREEN);
    if (!screen)
        return 1;
    SDL_ShowCursor(0);
    static Uint32 frame[640 * 480];
    Uint32* back = static_cast<Uint32*>(calloc(640 * 480, 4));
    SDL_Surface* surface = SDL_CreateRGBSurfaceFrom(back, 640, 480, 32, 640 * 4, 0x00FF0000, 0x0000FF00,
                                                    0x000000FF, 0xFF000000);
    if (!back || !surface)
        return 1;
    SDL_Event event;
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "sleep(") == 0 && atoi(line.c_str() + 6) > 0)
            sleep(unsigned(atoi(line.c_str() + 6)));
        else if (line.compare(0, 7, "usleep(") == 0 && atoi(line.c_str() + 7) > 0)
            usleep(useconds_t(atoi(line.c_str() + 7)));
        memcpy(back, frame, sizeof frame);
        SDL_Surface* copy = SDL_DisplayFormat(surface);
        if (!copy)
            return 1;
        SDL_UpperBlit(copy, nullptr, screen, nullptr);
        SDL_FreeSurface(copy);
        SDL_Flip(screen);
        SDL_PollEvent(&event);
    }
    SDL_FreeSurface(surface);
    free(back);
    return 0;
}
