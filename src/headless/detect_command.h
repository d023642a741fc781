// --detect [COMn ...] [--save]: which port a receiver is on, and which time
// code it sends at which bit rate, found by listening and nothing else. Every
// port is listened to at once, first at 4800 and then at 9600 bit/s for up to
// 3 s each, so that a detection takes some seven seconds however many ports
// there are; a port whose frames already fit without doubt at 4800 bit/s is
// not listened to again. Ports are opened with the line settings a run uses
// (which raises DTR and RTS, as some receivers need), read, and never written
// to; the clock is never set.
//
// Standard output gets one line a port, stable for scripts:
//   COM3 (/dev/ttyUSB0): KRW_CODE at 4800 bit/s, 3 frames, 2026-12-08 11:22:33, this PC 0.4 s behind
//   COM1 (/dev/ttyS0): nothing received
//   COM4 (/dev/ttyUSB1): bytes at 9600 bit/s, no time code recognised
//   COM2 (/dev/ttyUSB2): in use by another program
// and standard error what it is doing meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "headless/run.h"
#include "timecode/detect.h"

namespace tkw {

// What was found on one port.
struct PortDetection {
    int32_t port = 0;
    // Why the port could not be listened to ("in use by another program");
    // empty when it was, and `verdict` then says what came.
    std::string failure;
    DetectVerdict verdict;
};

// Which port's find --save may store: its index in `ports`, or -1 with
// `why` when there is nothing to store or no one answer: two formats fit
// one port equally, or more than one port has a time code.
int ChooseToSave(const std::vector<PortDetection>& ports, const HeadlessProgram& program, std::string& why);

// Why a port did not open, from sio_open's result: "in use by another
// program", "no such device", "cannot be opened: <the system's reason>".
std::string OpenFailure(int32_t result, int32_t port, const HeadlessProgram& program);

// The whole command, after --map and --dir have been taken. Exit status: 0
// when a time code was found on some port (and, with --save, stored); 1 when
// none was, when --save refuses to choose or the settings cannot be stored.
int DetectReceivers(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams);

}  // namespace tkw
