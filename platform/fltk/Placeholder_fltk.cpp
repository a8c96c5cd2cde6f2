// The fltk backends; each comes with its own unit.
namespace { [[maybe_unused]] int placeholder_fltk = 0; }
