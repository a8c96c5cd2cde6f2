// The baseline process of the main-window benchmark: opens an SDL window of the given size with a
// renderer, presents once, and tells its parent through the given descriptor that the picture is
// shown. Links SDL and nothing else, so that its start-up is what any SDL program pays.
//
//   bench_empty_window_process WIDTH HEIGHT FD
#include <SDL.h>
#include <unistd.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), fd = std::atoi(argv[3]);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("empty", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, 0);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    if (!renderer) return 1;
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    const char done = 1;
    if (write(fd, &done, 1) != 1) return 1;
    // The parent ends the process once it has read the time; nothing more belongs to the measure.
    pause();
    return 0;
}
