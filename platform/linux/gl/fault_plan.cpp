#include "fault_plan.h"

#include "../internal.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace gl_d3d8 {

namespace {

using tundra_testing::FaultCall;

constexpr size_t kKinds = 4;
constexpr std::array<const char*, kKinds> kNames = {"CreateTexture", "CreateVertexBuffer", "Lock",
                                                    "LockRect"};

struct FaultPlan {
    std::array<unsigned, kKinds> calls{};
    std::array<unsigned, kKinds> failing{};  // 0: none
    std::string countsFile;                  // written at the first present
};

FaultPlan& ThePlan() {
    static FaultPlan plan;
    return plan;
}

size_t IndexOf(FaultCall kind) { return static_cast<size_t>(kind); }

bool KindNamed(const std::string& name, FaultCall& kind) {
    for (size_t i = 0; i < kKinds; ++i) {
        if (name == kNames[i]) {
            kind = static_cast<FaultCall>(i);
            return true;
        }
    }
    return false;
}

// One "Name:n" item of TUNDRA_FAULT.
bool ApplyFaultItem(const std::string& item) {
    const size_t colon = item.find(':');
    FaultCall kind;
    if (colon == std::string::npos || !KindNamed(item.substr(0, colon), kind)) return false;
    char* end = nullptr;
    const std::string number = item.substr(colon + 1);
    const unsigned long n = std::strtoul(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || n == 0 || n > 0xFFFFFFFFul) return false;
    tundra_testing::FailCall(kind, static_cast<unsigned>(n));
    return true;
}

void WriteCountsOnce(IDirect3DDevice8*) {
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

}  // namespace

bool FaultDue(FaultCall kind) {
    FaultPlan& plan = ThePlan();
    const size_t i = IndexOf(kind);
    ++plan.calls[i];
    return plan.failing[i] != 0 && plan.calls[i] == plan.failing[i];
}

void StartFaultPlan(const Options& options) {
    std::istringstream items(options.faults);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (!ApplyFaultItem(item))
            std::fprintf(stderr, "TUNDRA_FAULT: skipped \"%s\"\n", item.c_str());
    }
    if (!options.faultCountsFile.empty()) {
        ThePlan().countsFile = options.faultCountsFile;
        platform_linux::AddPresentListener(WriteCountsOnce);
    }
}

}  // namespace gl_d3d8

namespace tundra_testing {

void FailCall(FaultCall kind, unsigned n) {
    gl_d3d8::FaultPlan& plan = gl_d3d8::ThePlan();
    const size_t i = gl_d3d8::IndexOf(kind);
    plan.failing[i] = n == 0 ? 0 : plan.calls[i] + n;
}

void ClearFaultPlan() {
    gl_d3d8::FaultPlan& plan = gl_d3d8::ThePlan();
    plan.calls.fill(0);
    plan.failing.fill(0);
}

unsigned CallCount(FaultCall kind) { return gl_d3d8::ThePlan().calls[gl_d3d8::IndexOf(kind)]; }

}  // namespace tundra_testing
