// Objective-C objects as the simulated device hands them around: made by class name, handed over
// to the autorelease pool, and text in and out of strings.
#pragma once

#include "objc/foundation.hpp"

#include <Block.h>

#include <optional>
#include <string>
#include <vector>

namespace sim {

// The binding's names that every part of the simulated device uses.
using NS::String;
using objc::Object;
using objc::Ref;
using objc::sel;

// A new instance of the named class (nil when the app lacks it), owned.
template <class T> objc::Ref<T> make(const char* className) {
    return objc::Ref<T>::adopt(NS::classNamed(className).send<T>(objc::sel<"new">()));
}

// The object, kept alive by the current autorelease pool after `owned` lets go of it.
template <class T> T autoreleased(const objc::Ref<T>& owned) {
    owned.get().retain();
    return T(owned.get().autorelease());
}

// An autoreleased array of the objects, as the stand-ins' collection getters give.
template <class T> id autoreleasedArray(const std::vector<objc::Ref<T>>& objects) {
    auto array = NS::MutableArray::make();
    for (const auto& object : objects) array->addObject(object.get());
    return autoreleased(array).raw;
}

// A copy of the string, as UIKit keeps the texts it is given.
inline objc::Ref<NS::String> copyOf(NS::String string) {
    return objc::Ref<NS::String>::adopt(NS::String(string.send<id>(objc::sel<"copy">())));
}

// A string of UTF-8 text, or nil for nothing.
inline objc::Ref<NS::String> stringOf(const std::optional<std::string>& text) {
    if (!text) return objc::Ref<NS::String>();
    return NS::String::make(text->c_str());
}
// The same, autoreleased.
inline NS::String string(const std::string& text) { return autoreleased(NS::String::make(text.c_str())); }

// A string's UTF-8 text, or nothing for nil.
inline std::optional<std::string> text(NS::String string) {
    if (!string) return std::nullopt;
    return std::string(string.UTF8String());
}

// A copy of a block (a handler, a completion), released with the last holder.
template <class Block> class KeptBlock {
public:
    explicit KeptBlock(Block block) : block_(block ? Block(Block_copy(block)) : Block(nullptr)) {}
    KeptBlock(const KeptBlock& other) : KeptBlock(other.block_) {}
    KeptBlock& operator=(const KeptBlock&) = delete;
    ~KeptBlock() {
        if (block_) Block_release(block_);
    }
    Block get() const { return block_; }

private:
    Block block_;
};

} // namespace sim
