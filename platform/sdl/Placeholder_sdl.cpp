// The sdl backends; each comes with its own unit.
namespace { [[maybe_unused]] int placeholder_sdl = 0; }
