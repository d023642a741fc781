// The program as the service manager runs it ("tkw-service service --dir DIR
// [options]", the command line install registers): it reports start-up,
// running and stopping, takes stop, shutdown and power events, and writes
// its lines to the daily log in DIR. Windows builds only.
#pragma once

#include "headless/options.h"
#include "headless/program.h"
#include "headless/run.h"

namespace tkw {

// Hands this thread to the service manager until the service has stopped.
// `seams` gives the clock and the port; its console is replaced by the
// daily log. Returns the run's exit status; 2 when the program was not
// started by the service manager.
int RunAsService(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams);

}  // namespace tkw
