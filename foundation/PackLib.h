// The pack set: every data file of a game is read through ResolveFileName and LoadFile, which look
// in the numbered packs "GameData\data0.pack" .. "data15.pack" from the highest number down, then
// in the engine core's virtual files (through the two hooks), and early in start-up on the disk.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

namespace PackLib {

using TFileExistsHook = std::function<bool(const std::string& name)>;
using TLoadFileHook = std::function<std::unique_ptr<TMemoryStream>(const std::string& name)>;
using TPackErrorEvent = std::function<void(const std::string& entryName)>;

// Set by the engine core (the hooks) and the main window (the error event); empty until then.
extern TFileExistsHook FileExistsHook;
extern TLoadFileHook LoadFileHook;
extern TPackErrorEvent OnPackError;

bool OpenPacks(const std::string& dataRoot);  // data root ends in "\"
void ClosePacks();
bool PackExists(int n);
void SetPackVerify(bool on);

std::string NormalizePath(std::string_view name);
// The normalised name when the file exists anywhere, else "".
std::string ResolveFileName(std::string_view name);
// A new stream at position 0, owned by the caller; nullptr when the file cannot be had.
std::unique_ptr<TMemoryStream> LoadFile(std::string_view name);

}  // namespace PackLib
