// Fuzz target: the configuration reader on any "data\default.cfg". Every
// input must end in exactly one of the two outcome lines, matching loaded().
#include "config/config.h"
#include "fuzz_support.h"

using tundra_fuzz::Fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("default.cfg", data, size);
    tundra_fuzz::CapturedLog log;
    const Config config("default.cfg");
    const bool saidLoaded = log.contains("Loaded configuration file: data\\default.cfg");
    const bool saidFailed =
        log.contains("Something failed while loading the configuration file: data\\default.cfg");
    if (saidLoaded == saidFailed) Fail("no single outcome line in the log:\n" + log.text());
    if (config.loaded() != saidLoaded) Fail("loaded() disagrees with the log");
    if (config.loaded() && (config.screenWidth() <= 0 || config.screenHeight() <= 0))
        Fail("a loaded configuration with a screen size of zero or less");
    return 0;
}
