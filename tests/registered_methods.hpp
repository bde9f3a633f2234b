// The methods that the product registers at run time (registered_methods.txt), with each encoding
// spelt as GNU's runtime spells BOOL, CGFloat and NSInteger, and their check against the runtime.
#pragma once

#include "sim/platform/gnu_runtime.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct RegisteredMethod {
    std::string className, selector, encoding;
};

inline std::vector<RegisteredMethod> registeredMethodsOf(const std::string& binary) {
    std::ifstream table(TWINLY_SOURCE "/tests/registered_methods.txt");
    std::vector<RegisteredMethod> methods;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string owner;
        RegisteredMethod method;
        if (!(fields >> owner >> method.className >> method.selector >> method.encoding) || owner != binary) continue;
        for (auto [code, gnu] : {std::pair{"{BOOL}", "C"}, std::pair{"{CGFloat}", "d"}, std::pair{"{NSInteger}", "q"}})
            for (size_t at; (at = method.encoding.find(code)) != std::string::npos;)
                method.encoding.replace(at, std::string(code).size(), gnu);
        methods.push_back(method);
    }
    return methods;
}

// An encoding without the frame offsets that compiled classes carry ("@16@0:8" is "@@:").
inline std::string withoutOffsets(const char* encoding) {
    std::string types;
    for (const char* c = encoding; *c; ++c)
        if (*c < '0' || *c > '9') types += *c;
    return types;
}

// Every method that `binary` registers is there, with its signature's encoding; an override has
// the encoding of the method it overrides, as the platform's frameworks declare it.
inline void expectRegisteredMethodsOf(const std::string& binary) {
    std::vector<RegisteredMethod> methods = registeredMethodsOf(binary);
    ASSERT_FALSE(methods.empty()) << "no method of " << binary << " in registered_methods.txt";
    for (const RegisteredMethod& method : methods) {
        Class cls = objc_getClass(method.className.c_str());
        SEL sel = sel_registerName(method.selector.c_str());
        Method found = class_getInstanceMethod(cls, sel);
        ASSERT_NE(found, nullptr) << method.className << " " << method.selector;
        EXPECT_STREQ(method_getTypeEncoding(found), method.encoding.c_str()) << method.className << " " << method.selector;
        if (Method overridden = class_getInstanceMethod(class_getSuperclass(cls), sel))
            EXPECT_EQ(withoutOffsets(method_getTypeEncoding(overridden)), method.encoding)
                << method.className << " " << method.selector << " overrides a method of another signature";
    }
}
