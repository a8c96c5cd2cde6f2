// A stand-in for the jump words while an interpreter has none: "\go" alone, which the engine core
// itself sends at start, at every reset and into the system script. It is installed only on an
// interpreter whose set-up left the jump handler empty, so the full words replace it by
// themselves once they exist.
#pragma once

class IScriptWordHandler;

namespace KelJumpStandIn {
IScriptWordHandler& GoWord();
}  // namespace KelJumpStandIn
