// The system names files as "data\name"; Linux file functions want '/'.
#include "../platform.h"

#include <algorithm>

std::string NativePath(const std::string& path) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}
