// The configuration reader on any "data\default.cfg": exactly one of the two
// outcome lines in the log, matching loaded().
#include "config/config.h"
#include "fuzz_support.h"
#include "support/log_capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("default.cfg", data, size);
    LogCapture log;
    const Config config("default.cfg");
    const std::string text = log.text();
    const bool loaded = text.find("Loaded configuration file: data\\default.cfg") != text.npos;
    const bool failed =
        text.find("Something failed while loading the configuration file: data\\default.cfg") !=
        text.npos;
    if (loaded == failed) tundra_fuzz::Fail("no single outcome line in the log:\n" + text);
    if (config.loaded() != loaded) tundra_fuzz::Fail("loaded() disagrees with the log");
    return 0;
}
