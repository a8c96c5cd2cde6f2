// The engine's virtual files: names that no pack holds and no disk file has, served by the engine
// core through the pack layer's two hooks once it is set up. Every reader that loads by name can
// use them (image objects, animations, the system screens, scripts).
//
//   "$$$gamethreadimage,0.bmp"         the game interpreter's screen, cursor images included
//   "$$$gamethreadimage,1.bmp"         the same without the cursor images
//   "$$$gamethreadimagez,N.bmp"        the screen drawn up to layer N, cursors included; a missing
//                                      or malformed N draws every layer (0xFFFF)
//   "$$$systemthreadimage..."          the same three for the system interpreter
//   "...$$$saveimage,FILE.bmp"         the thumbnail kept in the save file "SaveData\FILE", as a
//                                      BMP file; it exists while that save file does
//   "...$$$fileimport,PATH"            the bytes of the disk file PATH, whatever its extension
//
// Names are matched without regard to ASCII case; FILE, PATH and N are taken from the name as it
// was written. They are the second comma-separated item of the name (the splitter's quotes and
// brackets group, so a quoted item may hold a comma), taken from the name without its last
// extension for snapshots and thumbnails and from the whole name for imports. The two snapshot
// families must start the name; "$$$saveimage" and "$$$fileimport" may stand anywhere in it.
//
// An import path goes through the path layer: backslashes separate, each segment is found without
// regard to case, a relative path starts at the program's folder. A path with a drive letter
// ("C:...") names nothing. A snapshot draws the interpreter's objects into its compositor as a
// frame does; after a snapshot without cursors or below the top layer the interpreter draws once
// more as usual, so that the next frame presents what it would have presented.
#pragma once

#include <memory>
#include <string>

#include "platform/ClassLib.h"

class TKelScript;

namespace KelVirtualFiles {

// Whether the name stands for a virtual file now. A snapshot name always does; a thumbnail name
// when its save file exists, an import name when its disk file exists, both below the root (the
// game's folder; without one neither does).
bool Exists(const TFileRoot* root, const std::string& name);

// A new stream at its start with the file's bytes, or nullptr: for a name that matches no rule,
// for a snapshot of an interpreter that is missing or has no compositor, for a save file that is
// missing, damaged, written under another key than codeKey or holds no thumbnail, and for a disk file that
// cannot be read (also when it went away after Exists).
std::unique_ptr<TMemoryStream> Open(const TFileRoot* root, uint32_t codeKey, const std::string& name,
                                    TKelScript* gameScript, TKelScript* systemScript);

}  // namespace KelVirtualFiles
