#include "sim/platform/stand_in.hpp"

#include "sim/platform/transcript.hpp"
#include "sim/platform/weak_references.hpp"

namespace sim {

namespace {

std::vector<Class>& classes() {
    static std::vector<Class> defined;
    return defined;
}

std::string renamed(const char* declared, Rename rename) { return rename ? rename(declared) : declared; }

} // namespace

const std::vector<Class>& definedClasses() { return classes(); }

void reportOffMainThread(id self, SEL cmd, bool classMethod) {
    Class cls = classMethod ? reinterpret_cast<Class>(self) : objc::classOf(self);
    endRun(std::string("UIKit used off the main thread: ") + (classMethod ? '+' : '-') + "[" + class_getName(cls) + " " +
           sel_getName(cmd) + "]");
}

// Classes first: the additions may be to one of them.
void Catalogue::define(const ClassNames& leftOut, Rename rename) {
    for (StandInClass* each = first_; each; each = each->next_)
        if (each->superclass_) each->define(*this, leftOut, rename);
    for (StandInClass* each = first_; each; each = each->next_)
        if (!each->superclass_) each->define(*this, leftOut, rename);
}

std::vector<std::string> Catalogue::classNames(Rename rename) const {
    std::vector<std::string> names;
    for (const StandInClass* each = first_; each; each = each->next_)
        if (each->superclass_) names.push_back(renamed(each->name_, rename));
    return names;
}

Class Catalogue::defineNamed(const char* name, const ClassNames& leftOut, Rename rename) {
    for (StandInClass* each = first_; each; each = each->next_)
        if (each->superclass_ && std::string(each->name_) == name) return each->define(*this, leftOut, rename);
    return objc::lookUpClass(renamed(name, rename).c_str());
}

StandInClass::StandInClass(Catalogue& catalogue, const char* name, const char* superclass, std::vector<MethodRow> methods,
                           Threads threads, StateSlot* state, std::vector<const char*> objectIvars)
    : name_(name), superclass_(superclass), methods_(std::move(methods)),
      threads_(threads == Threads::ofCatalogue ? catalogue.threads_ : threads), state_(state),
      stateIvar_(std::string("_sim.") + name), objectIvars_(std::move(objectIvars)) {
    (catalogue.last_ ? catalogue.last_->next_ : catalogue.first_) = this;
    catalogue.last_ = this;
}

void StandInClass::addMethods(Class cls, bool onMainThreadOnly) const {
    for (const MethodRow& row : methods_)
        class_addMethod(row.classMethod ? metaclassOf(cls) : cls, sel_registerName(row.selector),
                        onMainThreadOnly ? row.onMainThreadOnly : row.implementation, row.types);
}

Class StandInClass::define(Catalogue& catalogue, const ClassNames& leftOut, Rename rename) {
    bool onMainThreadOnly = threads_ == Threads::main;
    std::string name = renamed(name_, rename);
    if (superclass_ == nullptr) {
        // Added once: the first selector tells whether it is there.
        Class extended = objc::lookUpClass(name.c_str());
        if (extended && !class_getInstanceMethod(methods_[0].classMethod ? metaclassOf(extended) : extended,
                                                 sel_registerName(methods_[0].selector)))
            addMethods(extended, onMainThreadOnly);
        return extended;
    }
    if (leftOut.count(name)) return nullptr;
    if (Class existing = objc::lookUpClass(name.c_str())) return existing;
    Class superclass = catalogue.defineNamed(superclass_, leftOut, rename);
    if (superclass == nullptr) return nullptr;
    objc::ClassBuilder builder(name.c_str(), superclass);
    if (state_) builder.ivar<void*>(stateIvar_.c_str());
    for (const char* ivar : objectIvars_) builder.ivar<id>(ivar);
    Class cls = builder.registerClass();
    addMethods(cls, onMainThreadOnly);
    if (state_) bindState(cls);
    if (onMainThreadOnly) keepWeakReferencesOnMainThread(cls);
    classes().push_back(cls);
    return cls;
}

void StandInClass::bindState(Class cls) const {
    StateSlot& slot = *state_;
    ptrdiff_t offset = ivar_getOffset(class_getInstanceVariable(cls, stateIvar_.c_str()));
    if (Class sibling = slot.owner) {
        if (offset != slot.offset || !objectIvars_.empty() || class_getSuperclass(cls) != class_getSuperclass(sibling))
            endRun(std::string("stand-ins: ") + name_ + " cannot share the state of " + class_getName(sibling));
        return;
    }
    slot.owner = cls;
    slot.offset = offset;
    for (const char* ivar : objectIvars_) slot.objectIvars.push_back(ivar_getOffset(class_getInstanceVariable(cls, ivar)));
}

} // namespace sim
