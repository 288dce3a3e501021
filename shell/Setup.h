#pragma once
// The headless runner's three setup-file routines, handed to the workspace (IWrkSpc.Init):
// opening replays the file's "Kelvane" section, saving writes the file as every program of
// Kelvane does (SetupFile.h; no schematic and no panels here), closing keeps nothing. They are plain functions, so they reach the one
// engine of the process through SetupBind.

#include <cstdint>

#include "KvCore/KvApi.h"

// The engine the routines work on; null for both before the engine goes.
void SetupBind(IApp* app, IUtils* utils);

// 0, or -1 when lines of the setup failed (their count is logged).
long SetupOpen(intptr_t, intptr_t);
// 0, or -1 when the file (UTF-8 name in the first argument) could not be written whole.
long SetupSave(intptr_t fileName, intptr_t);
long SetupClose(intptr_t, intptr_t);
