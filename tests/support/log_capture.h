// Redirects the program log into a string for the lifetime of the object.
#pragma once

#include "app/log.h"
#include <sstream>
#include <string>

class LogCapture {
public:
    LogCapture() : previous_(static_cast<std::ostream&>(Log).rdbuf(buffer_.rdbuf())) {}
    ~LogCapture() { static_cast<std::ostream&>(Log).rdbuf(previous_); }
    std::string text() const { return buffer_.str(); }
    void clear() { buffer_.str(std::string()); }

private:
    std::ostringstream buffer_;
    std::streambuf* previous_;
};