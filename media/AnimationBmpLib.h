// The animation unit. For now it holds what its start and end do for the media caches: the
// embedded pictures and sounds of animations are shared through the two global caches, which
// exist while the unit does.
#pragma once

namespace AnimationBmpLib {

// Both global caches, empty, with capacity 0 (nothing unused is kept until the configuration
// sets a capacity).
void CreateManagers();
// Frees both caches and everything in them, held or not.
void FreeManagers();

}  // namespace AnimationBmpLib
