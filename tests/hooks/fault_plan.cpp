#include "fault_plan.h"

#include "hooks/frame_hash.h"
#include "platform/linux/flight.h"
#include "platform/linux/gl/device_observer.h"
#include "platform/platform.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tundra_hooks {

namespace {

constexpr size_t kKinds = 4;
constexpr std::array<const char*, kKinds> kNames = {"CreateTexture", "CreateVertexBuffer", "Lock",
                                                    "LockRect"};

struct TimedFault {
    DWORD at = 0;
    bool lose = false;  // else: badalloc
    unsigned count = 0;
    std::string file;
};

// The timed faults are played at the presented frames, whose hashes they
// may write: an observer of the devices.
struct FaultPlan final : gl_d3d8::DeviceObserver {
    std::array<unsigned, kKinds> calls{};
    std::array<unsigned, kKinds> failing{};  // 0: none
    std::string countsFile;                  // written at the first present
    std::vector<TimedFault> timed;
    size_t nextTimed = 0;
    bool started = false;
    DWORD start = 0;
    unsigned lossesLeft = 0;
    unsigned framesToHash = 0;
    std::ofstream hashes;
    bool throwNext = false;

    void framePresented(gl_d3d8::ObservedDevice& device) override;
    void play(const TimedFault& fault);
};

FaultPlan& ThePlan() {
    static FaultPlan* plan = new FaultPlan;  // lives until exit
    return *plan;
}

// One "Name:n" item of TUNDRA_FAULT.
bool ApplyFaultItem(const std::string& item) {
    const size_t colon = item.find(':');
    const auto name = std::find(kNames.begin(), kNames.end(), item.substr(0, colon));
    if (colon == std::string::npos || name == kNames.end()) return false;
    char* end = nullptr;
    const std::string number = item.substr(colon + 1);
    const unsigned long n = std::strtoul(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || n == 0 || n > 0xFFFFFFFFul) return false;
    ThePlan().failing[size_t(name - kNames.begin())] = static_cast<unsigned>(n);
    return true;
}

bool ReadTimedFault(DWORD at, const std::string& verb, std::istream& arguments) {
    TimedFault fault;
    fault.at = at;
    fault.lose = verb == "lose";
    if (fault.lose && !(arguments >> fault.count >> fault.file && fault.count > 0)) return false;
    if (!fault.lose && verb != "badalloc") return false;
    ThePlan().timed.push_back(fault);
    return true;
}

void FaultPlan::play(const TimedFault& fault) {
    if (!fault.lose) {
        throwNext = true;
        return;
    }
    hashes.close();
    hashes.clear();
    hashes.open(fault.file);
    if (!hashes) std::fprintf(stderr, "fault plan: cannot write %s\n", fault.file.c_str());
    lossesLeft = fault.count;
    framesToHash = fault.count + 1;
}

void FaultPlan::framePresented(gl_d3d8::ObservedDevice& device) {
    if (!started) {
        started = true;
        start = timeGetTime();
    }
    while (nextTimed < timed.size() && timed[nextTimed].at <= timeGetTime() - start)
        play(timed[nextTimed++]);
    if (framesToHash == 0) return;
    --framesToHash;
    std::vector<uint32_t> pixels;
    UINT width = 0, height = 0;
    char line[32] = "unreadable";
    if (device.readBack(pixels, width, height))
        std::snprintf(line, sizeof line, "%016llx",
                      static_cast<unsigned long long>(FrameHash(pixels)));
    hashes << line << std::endl;
}

}  // namespace

void StartFaultPlan() {
    static bool begun = false;
    if (begun) return;
    begun = true;
    FaultPlan& plan = ThePlan();
    std::istringstream items(std::getenv("TUNDRA_FAULT") ? std::getenv("TUNDRA_FAULT") : "");
    for (std::string item; std::getline(items, item, ',');)
        if (!ApplyFaultItem(item))
            std::fprintf(stderr, "TUNDRA_FAULT: skipped \"%s\"\n", item.c_str());
    if (const char* counts = std::getenv("TUNDRA_FAULT_COUNTS")) plan.countsFile = counts;
    if (const char* script = std::getenv("TUNDRA_FAULT_SCRIPT")) {
        platform_linux::ReadScript(script, ReadTimedFault);
        std::stable_sort(plan.timed.begin(), plan.timed.end(),
                         [](const TimedFault& a, const TimedFault& b) { return a.at < b.at; });
    }
    gl_d3d8::AddDeviceObserver(plan);
}

bool FaultDue(FaultCall kind) {
    FaultPlan& plan = ThePlan();
    const size_t i = static_cast<size_t>(kind);
    ++plan.calls[i];
    return plan.failing[i] != 0 && plan.calls[i] == plan.failing[i];
}

void BeforePresent() {
    FaultPlan& plan = ThePlan();
    if (plan.countsFile.empty()) return;
    if (FILE* out = std::fopen(plan.countsFile.c_str(), "w")) {
        for (size_t i = 0; i < kKinds; ++i) std::fprintf(out, "%s %u\n", kNames[i], plan.calls[i]);
        std::fclose(out);
    } else {
        std::fprintf(stderr, "fault plan: cannot write %s\n", plan.countsFile.c_str());
    }
    plan.countsFile.clear();
}

bool LossDueAfterPresent() {
    FaultPlan& plan = ThePlan();
    if (plan.lossesLeft == 0) return false;
    --plan.lossesLeft;
    return true;
}

bool AllocationFailureDue() {
    FaultPlan& plan = ThePlan();
    const bool due = plan.throwNext;
    plan.throwNext = false;
    return due;
}

}  // namespace tundra_hooks
