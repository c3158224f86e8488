#include "text/console.h"

#include "text/font.h"

Console::Console() : lines{" ** The console is now operational ** ", ""} {}

void Console::setFont(Font* newFont) { font = newFont; }

Console& Console::print(std::string text) {
    if (font) font->setSize(textSize);
    for (unsigned char c : text) append(c);
    if (font) trim();
    return *this;
}

void Console::append(unsigned char c) {
    const bool lineFeed = c == '\n';
    bool newLine = lineFeed;
    if (!lineFeed && font) {
        const float width = font->stringWidth(lines.back());
        newLine = font->usableWidth() < width + font->glyph(c).advance;
    }
    if (newLine) lines.emplace_back();
    if (!lineFeed) lines.back().push_back(static_cast<char>(c));
}

// Keeps the newest lines whose heights fit the usable height, and always the
// current line, even when it alone is too tall.
void Console::trim() {
    const float limit = font->usableHeight();
    float total = 0.0f;
    size_t keep = 0;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        total += font->stringHeight(*line);
        if (keep > 0 && total > limit) break;
        ++keep;
    }
    while (lines.size() > keep) lines.pop_front();
}

void Console::render() {
    if (!font) return;
    font->setSize(textSize);
    const float x = font->leftMargin();
    float y = 2.0f * font->bottomMargin();
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        font->drawString(*line, x, y);
        y += font->stringHeight(*line);
    }
}
