#include "sim/settings/preferences_daemon.hpp"

#include <map>

namespace sim::settings {
namespace {

using Pending = std::map<std::string, objc::Ref<NS::MutableDictionary>>;

Pending& pending() {
    static Pending values;
    return values;
}

NS::MutableDictionary storedDomain(const std::string& domain) {
    return NS::MutableDictionary::dictionaryWithContentsOfFile(NS::String::make(preferencesPath(domain).c_str()));
}

} // namespace

std::string preferencesPath(const std::string& domain) { return "/var/mobile/Library/Preferences/" + domain + ".plist"; }

void setPreference(const std::string& domain, NS::String key, objc::Object value) {
    objc::Ref<NS::MutableDictionary>& values = pending()[domain];
    if (!values) values = NS::MutableDictionary::make();
    values->setObjectForKey(value, key);
}

objc::Object preferenceValue(const std::string& domain, NS::String key) {
    auto found = pending().find(domain);
    if (found != pending().end())
        if (objc::Object value = found->second->valueForKey(key)) return value;
    return storedDomain(domain).valueForKey(key);
}

void writePendingPreferences() {
    NS::AutoreleasePool pool;
    for (auto& [domain, values] : pending()) {
        objc::Ref<NS::MutableDictionary> file = objc::Ref<NS::MutableDictionary>::retain(storedDomain(domain));
        if (!file) file = NS::MutableDictionary::make();
        file->send(objc::sel<"addEntriesFromDictionary:">(), values.get());
        file->writeToFile(NS::String::make(preferencesPath(domain).c_str()), YES);
    }
    pending().clear();
}

void forgetPendingPreferences() { pending().clear(); }

} // namespace sim::settings
