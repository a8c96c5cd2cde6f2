// The headless backends are header-light; this unit keeps the library non-empty until they grow.
namespace Headless {
int Version() {
    return 1;
}
}  // namespace Headless
