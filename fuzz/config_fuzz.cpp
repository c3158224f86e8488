// Fuzz target: the configuration reader on any "data\default.cfg". Every
// input must end in exactly one of the two outcome lines, matching loaded().
#include "config/config.h"
#include "fuzz_support.h"
#include "support/log_capture.h"

#include <string>

using tundra_fuzz::Fail;

namespace {

bool Says(const LogCapture& log, const std::string& line) {
    return log.text().find(line) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("default.cfg", data, size);
    LogCapture log;
    const Config config("default.cfg");
    const bool saidLoaded = Says(log, "Loaded configuration file: data\\default.cfg");
    const bool saidFailed =
        Says(log, "Something failed while loading the configuration file: data\\default.cfg");
    if (saidLoaded == saidFailed) Fail("no single outcome line in the log:\n" + log.text());
    if (config.loaded() != saidLoaded) Fail("loaded() disagrees with the log");
    return 0;
}
