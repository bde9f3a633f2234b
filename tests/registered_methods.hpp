// The methods that the product registers at run time (registered_methods.txt), with each encoding
// spelt as GNU's runtime spells BOOL and CGFloat, and the check of one against the runtime.
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
        for (auto [code, gnu] : {std::pair{"{BOOL}", "C"}, std::pair{"{CGFloat}", "d"}})
            for (size_t at; (at = method.encoding.find(code)) != std::string::npos;)
                method.encoding.replace(at, std::string(code).size(), gnu);
        methods.push_back(method);
    }
    return methods;
}

// Every method that `binary` registers is there, with its signature's encoding.
inline void expectRegisteredMethodsOf(const std::string& binary) {
    std::vector<RegisteredMethod> methods = registeredMethodsOf(binary);
    ASSERT_FALSE(methods.empty()) << "no method of " << binary << " in registered_methods.txt";
    for (const RegisteredMethod& method : methods) {
        Method found = class_getInstanceMethod(objc_getClass(method.className.c_str()), sel_registerName(method.selector.c_str()));
        ASSERT_NE(found, nullptr) << method.className << " " << method.selector;
        EXPECT_STREQ(method_getTypeEncoding(found), method.encoding.c_str()) << method.className << " " << method.selector;
    }
}
