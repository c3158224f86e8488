// A message built from parts written one after another, as a stream writes
// them: MessageText("face ", 3, " of ", 5) is "face 3 of 5".
#pragma once

#include <sstream>
#include <string>

template <typename... Parts>
std::string MessageText(const Parts&... parts) {
    std::ostringstream text;
    (text << ... << parts);
    return text.str();
}
