// One frame of the viewer, and the frame-rate meter it feeds.
#pragma once

#include "platform/platform.h"

#include <string>

// Counts presented frames and turns the count into two rates: an instant one
// over the last fifth of a second or more, and an average since start.
class FrameTimer {
public:
    FrameTimer();
    virtual ~FrameTimer();

    // Counting and both rates begin now.
    void start();
    static DWORD now();

    // Each returns the number only, "%6.2f"-style. The instant figure is
    // sampled at most once per sampleInterval; the forms that take a time
    // let a caller (a test) supply the clock.
    const std::string& instantFps();
    const std::string& instantFps(DWORD time);
    std::string averageFps() const;
    std::string averageFps(DWORD time) const;

    DWORD frames = 0;
    DWORD startTime = 0;
    DWORD lastSampleTime = 0;
    DWORD lastSampleFrames = 0;
    DWORD sampleInterval;
};

// Fixed-point, two decimals, right-aligned in six characters. A rate that is
// not a finite number (no time has passed yet) reads as 0.
std::string FormatRate(float rate);

// Draws, presents and counts one frame; handles a lost device.
void RenderFrame();
