#include "platform/platform.h"

// Windows opens "data\name" as it stands.
std::string NativePath(const std::string& path) { return path; }
