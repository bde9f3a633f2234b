#include "sim/platform/binary_plist.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

namespace {

constexpr size_t kHeader = 8, kTrailer = 32, kDeepest = 512;

class Checker {
public:
    explicit Checker(std::string_view bytes) : bytes_(bytes) {}

    bool check() {
        if (bytes_.size() < kHeader + kTrailer || !bytes_.starts_with("bplist00")) return false;
        size_t trailer = bytes_.size() - kTrailer;
        offsetSize_ = uint8_t(bytes_[trailer + 6]);
        refSize_ = uint8_t(bytes_[trailer + 7]);
        std::optional<uint64_t> objects = number(trailer + 8, 8), top = number(trailer + 16, 8),
                                table = number(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || !objects || !top || !table) return false;
        objects_ = *objects;
        tableStart_ = *table;
        if (objects_ == 0 || *top >= objects_ || tableStart_ < kHeader || tableStart_ > trailer ||
            objects_ > (trailer - tableStart_) / offsetSize_)
            return false;
        state_.assign(objects_, State::unvisited);
        return visit(*top, 0);
    }

private:
    enum class State : uint8_t { unvisited, open, done };

    std::optional<uint64_t> number(size_t at, size_t size) const {
        if (size > 8 || at > bytes_.size() || size > bytes_.size() - at) return std::nullopt;
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) value = value << 8 | uint8_t(bytes_[at + i]);
        return value;
    }

    // Where object `index` begins: inside the objects, before the offset table.
    std::optional<size_t> offsetOf(uint64_t index) const {
        std::optional<uint64_t> offset = number(tableStart_ + index * offsetSize_, offsetSize_);
        if (!offset || *offset < kHeader || *offset >= tableStart_) return std::nullopt;
        return size_t(*offset);
    }

    // Whether `count` items of `size` bytes from `at` end inside the objects.
    bool fits(size_t at, uint64_t count, uint64_t size) const {
        return at <= tableStart_ && (size == 0 || count <= (tableStart_ - at) / size);
    }

    // A count in the marker's low nibble, or, for 0xF, in the integer object after it.
    std::optional<uint64_t> countAfter(size_t& at, uint8_t info) const {
        if (info != 0xF) return info;
        if (at >= tableStart_) return std::nullopt;
        uint8_t marker = uint8_t(bytes_[at++]);
        if (marker >> 4 != 0x1 || (marker & 0xF) > 3) return std::nullopt;
        size_t size = size_t(1) << (marker & 0xF);
        if (!fits(at, 1, size)) return std::nullopt;
        std::optional<uint64_t> count = number(at, size);
        at += size;
        return count;
    }

    bool isString(uint64_t index) const {
        std::optional<size_t> at = offsetOf(index);
        uint8_t type = at ? uint8_t(bytes_[*at]) >> 4 : 0;
        return type == 0x5 || type == 0x6;
    }

    bool visit(uint64_t index, size_t depth) {
        if (index >= objects_ || depth > kDeepest || state_[index] == State::open) return false;
        if (state_[index] == State::done) return true;
        std::optional<size_t> start = offsetOf(index);
        if (!start) return false;
        state_[index] = State::open;
        size_t at = *start + 1;
        uint8_t marker = uint8_t(bytes_[*start]), type = marker >> 4, info = marker & 0xF;
        bool sound = false;
        switch (type) {
        case 0x0: sound = info == 0x0 || info == 0x8 || info == 0x9 || info == 0xF; break;
        case 0x1: sound = info <= 3 && fits(at, 1, size_t(1) << info); break;
        case 0x2: sound = (info == 2 || info == 3) && fits(at, 1, size_t(1) << info); break;
        case 0x3: sound = info == 3 && fits(at, 1, 8); break;
        case 0x8: sound = fits(at, 1, info + 1u); break;
        case 0x4:
        case 0x5:
        case 0x6: {
            std::optional<uint64_t> count = countAfter(at, info);
            sound = count && fits(at, *count, type == 0x6 ? 2 : 1);
            break;
        }
        case 0xA:
        case 0xC:
        case 0xD: {
            std::optional<uint64_t> count = countAfter(at, info);
            uint64_t references = count ? (type == 0xD ? 2 : 1) * *count : 0;
            sound = count && *count <= UINT64_MAX / 2 && fits(at, references, refSize_);
            for (uint64_t i = 0; sound && i < references; ++i) {
                uint64_t child = *number(at + i * refSize_, refSize_);
                sound = visit(child, depth + 1) && (type != 0xD || i >= *count || isString(child));
            }
            break;
        }
        default: break;
        }
        state_[index] = State::done;
        return sound;
    }

    std::string_view bytes_;
    uint8_t offsetSize_ = 0;
    uint8_t refSize_ = 0;
    uint64_t objects_ = 0;
    size_t tableStart_ = 0;
    std::vector<State> state_;
};

} // namespace

bool isWellFormedBinaryPropertyList(std::string_view bytes) { return Checker(bytes).check(); }

} // namespace sim
