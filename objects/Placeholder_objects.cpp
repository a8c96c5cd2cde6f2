// The objects library; its units come with their own files.
namespace {
[[maybe_unused]] int placeholder_objects = 0;
}
