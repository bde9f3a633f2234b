// Foundation: strings, arrays, dictionaries, numbers, bundles, URLs, sets.
#pragma once

#include "object.hpp"

namespace NS {

using objc::Object;
using objc::Ref;
using objc::sel;

inline Object classNamed(const char* name) { return objc::classObject(objc::lookUpClass(name)); }

struct String : Object {
    using Object::Object;
    static Ref<String> make(const char* utf8) {
        Object allocated(classNamed("NSString").send<id>(sel<"alloc">()));
        return Ref<String>::adopt(String(allocated.send<id>(sel<"initWithUTF8String:">(), utf8)));
    }
    NSUInteger length() const { return send<NSUInteger>(sel<"length">()); }
    // Equal strings have equal hashes (NSObject's contract for isEqual:).
    NSUInteger hash() const { return send<NSUInteger>(sel<"hash">()); }
    BOOL isEqualToString(String other) const { return send<BOOL>(sel<"isEqualToString:">(), other); }
    BOOL containsString(String other) const { return send<BOOL>(sel<"containsString:">(), other); }
    const char* UTF8String() const { return send<const char*>(sel<"UTF8String">()); }
};

// A string made once, at its first use, and kept for the life of the process.
template <objc::Name text> String literal() {
    static id made;
    if (made == nullptr) made = String::make(text.text).get().retain();
    return String(made);
}

// Absent strings count as empty.
inline bool isEmpty(String string) { return string.length() == 0; }

struct FastEnumerationState {
    unsigned long state;
    id* itemsPtr;
    unsigned long* mutationsPtr;
    unsigned long extra[5];
};

// Fast enumeration of any collection, each element read as a T.
template <class T> class Each {
public:
    explicit Each(Object collection) : collection_(collection) {}

    class Iterator {
    public:
        explicit Iterator(Object collection) : collection_(collection) { fetch(); }
        Iterator() = default;
        // The batch may point into buffer_, so an iterator never moves (range-for elides the copy).
        Iterator(const Iterator&) = delete;
        T operator*() const { return T(state_.itemsPtr[index_]); }
        Iterator& operator++() {
            if (++index_ == count_) fetch();
            return *this;
        }
        bool operator!=(const Iterator&) const { return count_ != 0; }

    private:
        void fetch() {
            index_ = 0;
            count_ = collection_.send<NSUInteger>(sel<"countByEnumeratingWithState:objects:count:">(), &state_,
                                                  buffer_, NSUInteger(kBatch));
        }
        static constexpr unsigned kBatch = 16;
        Object collection_;
        FastEnumerationState state_{};
        id buffer_[kBatch];
        NSUInteger index_ = 0;
        NSUInteger count_ = 0;
    };

    Iterator begin() const { return Iterator(collection_); }
    Iterator end() const { return Iterator(); }

private:
    Object collection_;
};

template <class T> Each<T> each(Object collection) { return Each<T>(collection); }

struct Array : Object {
    using Object::Object;
    NSUInteger count() const { return send<NSUInteger>(sel<"count">()); }
    Object objectAtIndex(NSUInteger index) const { return send<Object>(sel<"objectAtIndex:">(), index); }
    BOOL containsObject(Object object) const { return send<BOOL>(sel<"containsObject:">(), object); }
};

struct MutableArray : Array {
    using Array::Array;
    static Ref<MutableArray> make() { return Ref<MutableArray>::adopt(classNamed("NSMutableArray").send<MutableArray>(sel<"new">())); }
    void addObject(Object object) const { send(sel<"addObject:">(), object); }
};

struct Dictionary : Object {
    using Object::Object;
    Object valueForKey(String key) const { return send<Object>(sel<"valueForKey:">(), key); }
    // The object stored under a key equal to `key` (isEqual:, hash); nil for none.
    Object objectForKey(Object key) const { return send<Object>(sel<"objectForKey:">(), key); }
    BOOL writeToFile(String path, BOOL atomically) const {
        return send<BOOL>(sel<"writeToFile:atomically:">(), path, atomically);
    }
};

struct MutableDictionary : Dictionary {
    using Dictionary::Dictionary;
    // Autoreleased; nil for a missing file or one whose root is not a dictionary.
    static MutableDictionary dictionaryWithContentsOfFile(String path) {
        return classNamed("NSMutableDictionary").send<MutableDictionary>(sel<"dictionaryWithContentsOfFile:">(), path);
    }
    static Ref<MutableDictionary> make() {
        return Ref<MutableDictionary>::adopt(classNamed("NSMutableDictionary").send<MutableDictionary>(sel<"new">()));
    }
    void setObjectForKey(Object object, String key) const { send(sel<"setObject:forKey:">(), object, key); }
};

// A value of a property list read as a flag; values that cannot say (an array, a date) give nothing.
inline bool answersBoolValue(Object value) { return value.respondsToSelector(sel<"boolValue">()); }
inline BOOL boolValue(Object value) { return value.send<BOOL>(sel<"boolValue">()); }

struct Set : Object {
    using Object::Object;
    Object anyObject() const { return send<Object>(sel<"anyObject">()); }
    BOOL containsObject(Object object) const { return send<BOOL>(sel<"containsObject:">(), object); }
};

struct MutableSet : Set {
    using Set::Set;
    static Ref<MutableSet> make() { return Ref<MutableSet>::adopt(classNamed("NSMutableSet").send<MutableSet>(sel<"new">())); }
    void addObject(Object object) const { send(sel<"addObject:">(), object); }
};

// Zero-filled bytes that live as long as the object; nil when there is no memory for them.
struct MutableData : Object {
    using Object::Object;
    static Ref<MutableData> make(NSUInteger length) {
        Object allocated(classNamed("NSMutableData").send<id>(sel<"alloc">()));
        return Ref<MutableData>::adopt(MutableData(allocated.send<id>(sel<"initWithLength:">(), length)));
    }
    void* mutableBytes() const { return send<void*>(sel<"mutableBytes">()); }
};

struct Bundle : Object {
    using Object::Object;
    static Bundle bundleWithPath(String path) { return classNamed("NSBundle").send<Bundle>(sel<"bundleWithPath:">(), path); }
    String pathForResource(String name, String type) const {
        return send<String>(sel<"pathForResource:ofType:">(), name, type);
    }
};

struct URL : Object {
    using Object::Object;
    static URL URLWithString(String string) { return classNamed("NSURL").send<URL>(sel<"URLWithString:">(), string); }
};

// Opens an autorelease pool for the lifetime of the value.
class AutoreleasePool {
public:
    AutoreleasePool() : pool_(objc_autoreleasePoolPush()) {}
    ~AutoreleasePool() { objc_autoreleasePoolPop(pool_); }
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

private:
    void* pool_;
};

} // namespace NS
