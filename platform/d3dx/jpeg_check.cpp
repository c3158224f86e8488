// The checks stb_image 2.27 leaves out of its JPEG decoder, made before it
// sees a file. It trusts two things that a damaged file can get wrong:
//  - the 16 symbol counts of a Huffman table (DHT), and writes past its
//    256-entry tables when they add up to more;
//  - that every Huffman and quantisation table a scan names was defined; it
//    keeps its tables in uninitialised memory, so decoding with an
//    undefined Huffman table indexes with garbage, and an undefined
//    quantisation table multiplies garbage into the pixels.
// The walk follows the marker segments as stb_image reads them: the whole
// file, since progressive JPEGs define tables between scans; stray bytes
// between segments skipped to the next 0xFF; a table segment read table by
// table, even past its stated length. Where the two walks could part,
// stb_image stops with an error anyway.
// It also trusts the frame size: past the end of the scans it decodes
// zeros, so a few hundred bytes that claim 8192 x 8192 pixels keep it busy
// for seconds. Every 8 x 8 block takes at least one bit of some scan (its
// DC code), so scans with fewer bits than the frame has blocks are damaged.
#include "image.h"

namespace tundra_d3dx {

namespace {

class JpegWalk {
public:
    JpegWalk(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // "" when stb_image may decode the file, otherwise the reason it must not.
    std::string check() {
        const std::string problem = walk();
        if (!problem.empty()) return problem;
        if (scanBytes_ * 8 < frameBlocks_)
            return "the scans hold too little data for the image size";
        return "";
    }

private:
    std::string walk() {
        if (size_ < 2 || data_[0] != 0xFF || data_[1] != 0xD8) return "";
        size_t at = 2;
        while (at + 1 < size_) {
            while (at < size_ && data_[at] != 0xFF) ++at;  // stray bytes
            while (at < size_ && data_[at] == 0xFF) ++at;  // fill bytes
            if (at >= size_) return "";
            const uint8_t marker = data_[at++];
            if (marker == 0xD9) {
                // A progressive file is dequantised here, every component.
                if (progressive_ && !frameQuantisationDefined())
                    return "a component uses a quantisation table the file does not define";
                return "";
            }
            if (isStandalone(marker)) continue;
            const long length = (long(byteAt(at)) << 8 | byteAt(at + 1)) - 2;
            if (length < 0) return "";  // stb_image refuses it
            if (marker == 0xC4) {
                if (!readHuffmanTables(at + 2, length, at))
                    return "a Huffman table has more than 256 symbols";
                continue;
            }
            if (marker == 0xDB) readQuantisationTables(at + 2, length);
            if (marker >= 0xC0 && marker <= 0xC2) readFrame(at + 2, marker == 0xC2);
            if (marker == 0xDA) {
                if (!scanTablesDefined(at + 2))
                    return "a scan uses a Huffman table the file does not define";
                if (!progressive_ && !scanQuantisationDefined(at + 2))
                    return "a component uses a quantisation table the file does not define";
                const size_t dataStart = at + 2 + size_t(length);
                at = skipEntropyCodedData(dataStart);
                if (at > dataStart) scanBytes_ += at - dataStart;
                continue;
            }
            at += 2 + size_t(length);
        }
        return "";
    }

    // Like stb_image's stream: bytes past the end read as 0.
    uint8_t byteAt(size_t at) const { return at < size_ ? data_[at] : 0; }

    static bool isStandalone(uint8_t marker) {
        return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
    }

    // Tables follow one another while the segment length lasts, each 17
    // bytes plus as many symbols as its 16 counts add up to. Sets `end` to
    // where stb_image stops reading.
    bool readHuffmanTables(size_t at, long length, size_t& end) {
        while (length > 0) {
            const uint8_t classAndSlot = byteAt(at);
            long symbols = 0;
            for (size_t i = 1; i <= 16; ++i) symbols += byteAt(at + i);
            if (symbols > 256) return false;
            defined_ |= tableBit(classAndSlot >> 4, classAndSlot & 15);
            at += 17 + size_t(symbols);
            length -= 17 + symbols;
        }
        end = at;
        return true;
    }

    // Class 0 (DC) or 1 (AC), slot 0..3; stb_image refuses other values.
    static unsigned tableBit(unsigned tableClass, unsigned slot) {
        return tableClass <= 1 && slot <= 3 ? 1u << (tableClass * 4 + slot) : 0u;
    }

    // Tables of 64 one- or two-byte values, each after a byte with the
    // precision (0 or 1) and the slot (0..3); stb_image refuses others.
    void readQuantisationTables(size_t at, long length) {
        while (length > 0) {
            const uint8_t precisionAndSlot = byteAt(at);
            const bool sixteenBit = (precisionAndSlot >> 4) == 1;
            if ((precisionAndSlot >> 4) > 1 || (precisionAndSlot & 15) > 3) return;
            quantisationDefined_ |= 1u << (precisionAndSlot & 15);
            const long tableBytes = sixteenBit ? 129 : 65;
            at += size_t(tableBytes);
            length -= tableBytes;
        }
    }

    // The frame header: precision, height, width, component count, then per
    // component its id, sampling factors and quantisation table slot.
    void readFrame(size_t at, bool progressive) {
        progressive_ = progressive;
        const uint64_t height = uint64_t(byteAt(at + 1)) << 8 | byteAt(at + 2);
        const uint64_t width = uint64_t(byteAt(at + 3)) << 8 | byteAt(at + 4);
        frameBlocks_ = ((width + 7) / 8) * ((height + 7) / 8);
        const size_t components = byteAt(at + 5);
        frameComponents_ = 0;
        for (size_t i = 0; i < components && i < 4; ++i, ++frameComponents_) {
            componentIds_[i] = byteAt(at + 6 + 3 * i);
            componentTables_[i] = byteAt(at + 8 + 3 * i);
        }
    }

    bool hasQuantisation(size_t component) const {
        const uint8_t slot = componentTables_[component];
        return slot <= 3 && (quantisationDefined_ & (1u << slot));
    }

    // Every frame component that the scan header at `scan` names.
    bool scanQuantisationDefined(size_t scan) const {
        const size_t scanComponents = byteAt(scan);
        for (size_t i = 0; i < scanComponents && i < 4; ++i)
            for (size_t c = 0; c < frameComponents_; ++c)
                if (byteAt(scan + 1 + 2 * i) == componentIds_[c] && !hasQuantisation(c))
                    return false;
        return true;
    }

    bool frameQuantisationDefined() const {
        for (size_t c = 0; c < frameComponents_; ++c)
            if (!hasQuantisation(c)) return false;
        return true;
    }

    // A scan header: component count, then per component its id and DC/AC
    // table slots, then the spectral start and the approximation bits.
    // Baseline scans decode with both tables; progressive DC first scans
    // with the DC table only, AC scans with the AC table only.
    bool scanTablesDefined(size_t at) const {
        const size_t components = byteAt(at);
        const size_t spectral = at + 1 + 2 * components;
        const bool dcScan = byteAt(spectral) == 0;
        const bool dcRefinement = (byteAt(spectral + 2) >> 4) != 0;
        const bool needsDc = !progressive_ || (dcScan && !dcRefinement);
        const bool needsAc = !progressive_ || !dcScan;
        for (size_t i = 0; i < components && i < 4; ++i) {
            const uint8_t slots = byteAt(at + 2 + 2 * i);
            if (needsDc && !(defined_ & tableBit(0, slots >> 4))) return false;
            if (needsAc && !(defined_ & tableBit(1, slots & 15))) return false;
        }
        return true;
    }

    // The entropy-coded data runs to the next run of 0xFF bytes followed by
    // a marker: a run followed by 0 is a stuffed 0xFF (stb_image reads
    // 0xFF 0xFF 0x00 so too), one followed by a restart marker stays inside.
    size_t skipEntropyCodedData(size_t at) const {
        while (at < size_) {
            if (data_[at] != 0xFF) {
                ++at;
                continue;
            }
            size_t next = at;
            while (next < size_ && data_[next] == 0xFF) ++next;
            if (next >= size_) return size_;
            if (data_[next] != 0 && !isStandalone(data_[next])) return at;
            at = next + 1;
        }
        return size_;
    }

    const uint8_t* data_;
    size_t size_;
    unsigned defined_ = 0;              // bit class * 4 + slot for every Huffman table read
    unsigned quantisationDefined_ = 0;  // bit slot for every quantisation table read
    bool progressive_ = false;
    size_t frameComponents_ = 0;
    uint64_t frameBlocks_ = 0;  // 8 x 8 blocks of a full-size component
    uint64_t scanBytes_ = 0;    // entropy-coded bytes of every scan
    uint8_t componentIds_[4] = {};
    uint8_t componentTables_[4] = {};
};

}  // namespace

std::string JpegProblemForStb(const uint8_t* data, size_t size) {
    return JpegWalk(data, size).check();
}

}  // namespace tundra_d3dx
