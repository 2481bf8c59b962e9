// The video layer over SDL 1.2.
#include "video.h"

#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <string>

static int width, height;
static SDL_Surface* screen;
static pixel* backbuffer;
static SDL_Surface* framesurface;
static SDL_Event event;
static std::string lasterror;

static int fail()
{
    lasterror = SDL_GetError();
    return 0;
}

int initvideo(int w, int h)
{
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        return fail();
    // Whatever way the process ends, SDL gets to restore the screen mode.
    atexit(SDL_Quit);
    screen = SDL_SetVideoMode(w, h, 32, SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_FULLSCREEN);
    if (!screen)
        return fail();
    SDL_ShowCursor(0);
    width = w;
    height = h;
    backbuffer = static_cast<pixel*>(calloc(size_t(w) * h, sizeof(pixel)));
    if (!backbuffer) {
        SDL_SetError("out of memory for the back buffer");
        closevideo();
        return fail();
    }
    framesurface = SDL_CreateRGBSurfaceFrom(backbuffer, w, h, 32, w * 4, 0x00FF0000, 0x0000FF00,
                                            0x000000FF, 0xFF000000);
    if (!framesurface) {
        std::string why = SDL_GetError();
        closevideo();
        SDL_SetError("%s", why.c_str());
        return fail();
    }
    return 1;
}

const char* videoerror()
{
    return lasterror.c_str();
}

int updatevideo(const pixel* frame)
{
    if (!screen || !framesurface)
        return 0;
    memcpy(backbuffer, frame, size_t(width) * height * sizeof(pixel));
    SDL_Surface* copy = SDL_DisplayFormat(framesurface);
    if (!copy)
        return 0;
    int blitted = SDL_UpperBlit(copy, nullptr, screen, nullptr);
    SDL_FreeSurface(copy);
    if (blitted != 0)
        return 0;
    if (SDL_Flip(screen) != 0)
        return 0;
    checkevents();
    return 1;
}

int checkevents()
{
    if (!SDL_PollEvent(&event))
        return 0;
    if (event.type == SDL_KEYDOWN) {
        // The key state, not the event's own key, decides: an Escape that was let go before its
        // event is taken does not end the run.
        Uint8* keys = SDL_GetKeyState(nullptr);
        if (keys[SDLK_ESCAPE] == 1) {
            closevideo();
            exit(0);
        }
    } else if (event.type == SDL_QUIT) {
        closevideo();
        exit(0);
    }
    return 0;
}

void closevideo()
{
    if (screen)
        SDL_ShowCursor(1);
    if (framesurface)
        SDL_FreeSurface(framesurface);
    framesurface = nullptr;
    // SDL 1.2 ignores a request to free the display surface; SDL_Quit at exit releases it.
    if (screen)
        SDL_FreeSurface(screen);
    screen = nullptr;
    free(backbuffer);
    backbuffer = nullptr;
}
