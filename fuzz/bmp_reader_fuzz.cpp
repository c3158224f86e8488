// libFuzzer target for the BMP reader of our D3DX texture loader. Not part of
// the normal build; from the repository root:
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. -Iplatform \
//     -isystem /usr/include/stb fuzz/bmp_reader_fuzz.cpp platform/d3dx/bmp_reader.cpp \
//     platform/d3dx/image.cpp platform/d3dx/stb_reader.cpp -o bmp_reader_fuzz
//   ./bmp_reader_fuzz -max_len=4096 -max_total_time=60
// Besides memory errors it checks that a decoded image is as large as it says
// and that a failure leaves no pixels behind.
#include "platform/d3dx/image.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_d3dx::Image image;
    std::string reason;
    HRESULT hr = tundra_d3dx::DecodeBmp(data, size, image, reason);
    if (SUCCEEDED(hr)) {
        if (image.width == 0 || image.height == 0 ||
            image.texels.size() != size_t(image.width) * image.height)
            abort();
        // The first mip level must come out of any decoded image.
        tundra_d3dx::Image half = tundra_d3dx::HalveImage(image);
        if (half.texels.size() != size_t(half.width) * half.height) abort();
    } else if (!image.texels.empty() || reason.empty()) {
        abort();
    }
    return 0;
}
