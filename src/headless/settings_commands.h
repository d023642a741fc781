// The commands that do not run: --show-settings, --set, --list-ports. They
// work on horalsys.conf in the current directory, as a run does.
#pragma once

#include "headless/console.h"
#include "headless/options.h"
#include "headless/program.h"
#include "headless/sinks.h"
#include "config/settings.h"
#include "platform/files.h"
#include "serial/port_list.h"

namespace tkw {

// Loads horalsys.conf, saying why when it cannot: the box the desktop
// program shows, then the file and the system's reason.
bool LoadForHeadless(FileSystem& files, Settings& s, ConsoleBoxes& boxes, LoadResult& result);

// Removes the temporary files that saves cut short (killed, a power cut)
// left beside horalsys.conf, holding the settings' lock; says how many went.
// --set does so too, under the lock it holds.
void RemoveLeftoverSaves(const HeadlessProgram& program, Console& console);

// --show-settings, and --set (every value checked before anything is
// written). Exit status: 0, 1 when the file cannot be read or written, 2 for
// a bad setting.
int ShowOrSetSettings(const HeadlessOptions& options, const HeadlessProgram& program, FileSystem& files,
                      Console& console);

// --list-ports: the chooser's lines.
int ListPorts(SerialPortList& ports, const HeadlessProgram& program, Console& console);

}  // namespace tkw
