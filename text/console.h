// The output-only text overlay in the lower left of the window: wraps what is
// printed to the window's width, drops the oldest lines once they no longer
// fit its height, and draws the newest line at the bottom.
#pragma once

#include <deque>
#include <string>

class Font;

class Console {
public:
    // Starts with the greeting and an empty current line, and no font.
    Console();
    virtual ~Console() = default;

    void setFont(Font* newFont);

    // Appends text; a line feed ends the current line. Without a font the
    // text is kept unwrapped and untrimmed.
    Console& print(std::string text);

    // Draws the lines, newest at the bottom. Nothing without a font.
    void render();

    const std::deque<std::string>& getLines() const { return lines; }

private:
    void append(unsigned char c);
    void trim();

    Font* font = nullptr;
    std::deque<std::string> lines;
    float textSize = 0.3f;
};
