// Scripted and recorded flights, as a timedemo is for a game: the keys and
// mouse of a run written to a file and played back, and what the playback
// measured.
//
// TUNDRA_SCRIPT=<file> plays the file's lines into the keyboard and mouse
// as if a user did them. One action per line; empty lines and lines
// starting with '#' are skipped:
//
//   <ms> key <key> down|up      <key>: a DIK_ name (E, DIK_E, LEFT, F5, GRAVE,
//                                CAPITAL, ESCAPE, ...) or a hex code (0x12)
//   <ms> mouse <dx> <dy>        relative motion in mouse counts
//   <ms> wheel <counts>         wheel motion (120 per notch)
//   <ms> button <n> down|up     n: 0 left, 1 right, 2 middle, 3 extra
//   <ms> capture <file.ppm>     saves the next presented frame (binary PPM)
//   <ms> close                  closes the window as its title-bar button does
//
// <ms> counts milliseconds from the first presented frame. Actions are played
// in time order (file order for equal times). Every input record is stamped
// with its scheduled time on the timeGetTime clock and handed to the devices
// by the first message pump less than 20 ms before that time: a frame never
// accounts a held key past its scheduled release, so held durations come out
// exact whatever the frame rate. Captures and the close are played at the
// first pump at or after their time. A line that cannot be read is reported
// on stderr and skipped. When the last action has been played (or the
// device goes first), one line goes to logging.txt and to stdout:
//
//   flight: <frames> frames in <s.ss> seconds, <f.f> frames per second
//
// counting the frames presented after the first.
//
// TUNDRA_RECORD=<file> writes the keys, mouse motion, wheel and buttons the
// viewer gets (the user's, and a played script's) to the file in the same
// format, timed from the first presented frame, and at the end a close at
// the time the program ended: played with TUNDRA_SCRIPT, the file flies the
// same flight.
#pragma once

#include "win32_types.h"

#include <functional>
#include <istream>
#include <string>

namespace platform_linux {

// Starts what the environment asks for (main, before WinMain).
void StartFlight();
// Ends the recording (main, after WinMain).
void EndFlight();

// Reads a file of "<ms> <verb> <arguments>" lines as above: `read` takes
// the arguments of one line and says whether they are good. False when the
// file cannot be read.
using ScriptLineReader =
    std::function<bool(DWORD at, const std::string& verb, std::istream& arguments)>;
bool ReadScript(const char* path, const ScriptLineReader& read);

// Between flight.cpp and flight_record.cpp: milliseconds from the first
// presented frame to `time` (timeGetTime clock), 0 before it; and the
// recording, which EndRecording closes with a close action at `at`.
DWORD FlightTime(DWORD time);
bool StartRecording(const char* path);
void EndRecording(DWORD at);

}  // namespace platform_linux
