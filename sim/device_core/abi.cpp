#include "sim/device_core/abi.hpp"

#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

namespace sim::device {
namespace {

// What an encoding needs of libffi outlives every call: struct types and their element lists are
// kept here for the life of the process, as the signatures are.
std::deque<ffi_type> structTypes;
std::deque<std::vector<ffi_type*>> elementLists;

struct Reader {
    const std::string& text;
    size_t at = 0;

    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("the type encoding \"" + text + "\" cannot be read: " + why);
    }
    char peek() const { return at < text.size() ? text[at] : '\0'; }
    void skipOffset() {
        if (peek() == '-') ++at;
        while (peek() >= '0' && peek() <= '9') ++at;
    }
    void skipQuoted() {
        if (peek() != '"') return;
        size_t end = text.find('"', at + 1);
        if (end == std::string::npos) fail("an unterminated name");
        at = end + 1;
    }

    Type scalar(char code, size_t size, ffi_type* ffi, bool isSigned = false) {
        Type type{.code = code, .size = size, .align = size, .isSigned = isSigned, .ffi = ffi};
        if (code == 'f' || code == 'd') {
            type.floatElement = code;
            type.floatCount = 1;
        }
        return type;
    }

    // A struct, or an array (which lays out as a struct of its elements).
    Type structType(size_t start) {
        std::vector<Type> fields;
        if (text[at++] == '[') {
            size_t count = 0;
            while (peek() >= '0' && peek() <= '9') count = count * 10 + size_t(text[at++] - '0');
            Type element = next();
            if (peek() != ']') fail("an unterminated array");
            ++at;
            fields.assign(count, element);
        } else {
            while (peek() != '=' && peek() != '}') {
                if (peek() == '\0') fail("an unterminated struct");
                ++at;
            }
            if (peek() == '=') {
                ++at;
                while (peek() != '}') {
                    if (peek() == '\0') fail("an unterminated struct");
                    skipQuoted();
                    fields.push_back(next());
                }
            }
            ++at; // '}'
        }
        if (fields.empty()) fail("a struct without fields");
        Type type;
        type.code = '{';
        auto& elements = elementLists.emplace_back();
        char element = fields.front().floatElement;
        int count = 0;
        for (const Type& field : fields) {
            type.align = std::max(type.align, field.align);
            type.size = (type.size + field.align - 1) / field.align * field.align + field.size;
            elements.push_back(field.ffi);
            if (field.floatElement != element) element = 0;
            count += field.floatCount;
        }
        type.size = (type.size + type.align - 1) / type.align * type.align;
        elements.push_back(nullptr);
        if (element && count <= 4) {
            type.floatElement = element;
            type.floatCount = count;
        }
        type.ffi =
            &structTypes.emplace_back(ffi_type{.size = 0, .alignment = 0, .type = FFI_TYPE_STRUCT, .elements = elements.data()});
        type.encoding = text.substr(start, at - start);
        return type;
    }

    Type next() {
        while (std::string("rnNoORVA").find(peek()) != std::string::npos && peek() != '\0') ++at;
        size_t start = at;
        char code = peek();
        ++at;
        Type type;
        switch (code) {
        case 'c': type = scalar('c', 1, &ffi_type_sint8, true); break;
        case 'C': type = scalar('C', 1, &ffi_type_uint8); break;
        case 'B': type = scalar('B', 1, &ffi_type_uint8); break;
        case 's': type = scalar('s', 2, &ffi_type_sint16, true); break;
        case 'S': type = scalar('S', 2, &ffi_type_uint16); break;
        case 'i': case 'l': type = scalar('i', 4, &ffi_type_sint32, true); break;
        case 'I': case 'L': type = scalar('I', 4, &ffi_type_uint32); break;
        case 'q': type = scalar('q', 8, &ffi_type_sint64, true); break;
        case 'Q': type = scalar('Q', 8, &ffi_type_uint64); break;
        case 'f': type = scalar('f', 4, &ffi_type_float); break;
        case 'd': type = scalar('d', 8, &ffi_type_double); break;
        case 'v': type = scalar('v', 0, &ffi_type_void); type.align = 1; break;
        case '*': case '#': case ':': type = scalar(code, 8, &ffi_type_pointer); break;
        case '@':
            type = scalar('@', 8, &ffi_type_pointer);
            if (peek() == '?') {
                ++at;
                type.code = 'b';
                if (peek() == '<') {
                    size_t end = text.find('>', at);
                    if (end == std::string::npos) fail("an unterminated block signature");
                    at = end + 1;
                }
            } else {
                skipQuoted();
            }
            break;
        case '^':
            if (peek() == '?') {
                ++at;
                type = scalar('?', 8, &ffi_type_pointer);
            } else {
                next(); // the pointee
                type = scalar('^', 8, &ffi_type_pointer);
            }
            break;
        case '{': case '[': --at; type = structType(start); break;
        default: fail(std::string("the type code '") + code + "'");
        }
        if (type.encoding.empty()) type.encoding = text.substr(start, at - start);
        skipOffset();
        return type;
    }
};

void place(Signature& signature) {
    int gprs = 0, fprs = 0;
    size_t stack = 0;
    auto onStack = [&](size_t size, size_t align) {
        stack = (stack + align - 1) / align * align;
        Place where{Place::stack, int(stack), false};
        stack += size;
        return where;
    };
    for (const Type& type : signature.arguments) {
        if (type.isHfa()) {
            if (fprs + type.floatCount <= 8) {
                signature.places.push_back({Place::d, fprs, false});
                fprs += type.floatCount;
            } else {
                fprs = 8;
                signature.places.push_back(type.isStruct() ? onStack((type.size + 7) / 8 * 8, 8) : onStack(type.size, type.align));
            }
        } else if (type.isStruct() && type.size <= 16) {
            int words = int((type.size + 7) / 8);
            if (type.align == 16) gprs = (gprs + 1) & ~1;
            if (gprs + words <= 8) {
                signature.places.push_back({Place::x, gprs, false});
                gprs += words;
            } else {
                gprs = 8;
                signature.places.push_back(onStack(size_t(words) * 8, std::max<size_t>(8, type.align)));
            }
        } else {
            bool byReference = type.isStruct();
            if (gprs < 8) signature.places.push_back({Place::x, gprs++, byReference});
            else {
                // Apple's arm64 packs stack arguments by their own size and alignment.
                Place where = byReference ? onStack(8, 8) : onStack(type.size, type.align);
                where.byReference = byReference;
                signature.places.push_back(where);
            }
        }
    }
    signature.stackBytes = (stack + 15) / 16 * 16;
    signature.resultInMemory = signature.result.isStruct() && !signature.result.isHfa() && signature.result.size > 16;
}

} // namespace

const Signature& signatureOf(const std::string& encoding) {
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<Signature>> made;
    std::lock_guard<std::mutex> lock(guard);
    auto& slot = made[encoding];
    if (slot) return *slot;
    auto signature = std::make_unique<Signature>();
    Reader reader{encoding};
    signature->result = reader.next();
    while (reader.peek() != '\0') signature->arguments.push_back(reader.next());
    place(*signature);
    for (const Type& type : signature->arguments) signature->ffiArguments.push_back(type.ffi);
    if (ffi_prep_cif(&signature->cif, FFI_DEFAULT_ABI, unsigned(signature->ffiArguments.size()), signature->result.ffi,
                     signature->ffiArguments.data()) != FFI_OK)
        reader.fail("libffi refuses it");
    slot = std::move(signature);
    return *slot;
}

} // namespace sim::device
