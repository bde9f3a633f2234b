// UIKit's alerts (UIAlertController, UIAlertAction), and the user's press of one of their buttons.
#include "sim/platform/objects.hpp"
#include "sim/platform/run_loop.hpp"
#include "sim/uikit/uikit.hpp"
#include "sim/uikit/views.hpp"

namespace sim::ui {

namespace {

struct ActionState {
    Ref<String> title;
    std::optional<KeptBlock<UI::ActionHandler>> handler;
};
ActionState& action(id self) { return state<ActionState>(self); }

id actionWithTitle(id cls, SEL, id title, NSInteger, UI::ActionHandler handler) {
    Object made(Object(cls).send<id>(sel<"new">()));
    ActionState& kept = action(made.raw);
    kept.title = copyOf(String(title));
    kept.handler.emplace(handler);
    return made.autorelease();
}

const StandIn<ActionState> kUIAlertAction{classes, "UIAlertAction", "NSObject",
                                          {classMethod<actionWithTitle>("actionWithTitle:style:handler:")}};

struct AlertState {
    Ref<String> title;
    Ref<String> message;
    NSInteger preferredStyle = 0;
    std::vector<Ref<Object>> actions;
    Ref<Object> preferred;
};
AlertState& alert(id self) { return state<AlertState>(self); }

id alertWithTitle(id cls, SEL, id title, id message, NSInteger style) {
    return autoreleasedWithState(cls, AlertState{.title = copyOf(String(title)), .message = copyOf(String(message)),
                                                 .preferredStyle = style});
}
void alertAddAction(id self, SEL, id added) {
    if (added) alert(self).actions.push_back(Ref<Object>::retain(Object(added)));
}

const StandIn<AlertState> kUIAlertController{classes, "UIAlertController", "UIViewController",
                                             {classMethod<alertWithTitle>("alertControllerWithTitle:message:preferredStyle:"),
                                              getter<&AlertState::message>("message"),
                                              method<alertAddAction>("addAction:"),
                                              setter<&AlertState::preferred>("setPreferredAction:")}};

} // namespace

UI::AlertController alertOnScreen() {
    Object top(topPresentation());
    if (!top.isKindOfClass(objc::lookUpClass("UIAlertController"))) return UI::AlertController();
    return UI::AlertController(top.raw);
}

screens::Alert contentOf(UI::AlertController shown) {
    const AlertState& kept = alert(shown.raw);
    screens::Alert content{text(kept.title.get()), text(kept.message.get()), kept.preferredStyle, {}, {}};
    for (const auto& entry : kept.actions) content.buttons.push_back(text(action(entry.get().raw).title.get()).value_or(""));
    if (kept.preferred) content.preferred = text(action(kept.preferred.get().raw).title.get());
    return content;
}

// A tap, handled by the main run loop: the alert goes, animated, and the button's handler runs once
// it has gone.
bool pressAlertButton(const std::string& title) {
    UI::AlertController shown = alertOnScreen();
    if (!shown) return false;
    for (const auto& entry : alert(shown.raw).actions) {
        if (text(action(entry.get().raw).title.get()) != title) continue;
        handleEvent([&] {
            dismiss(shown.raw, true, [pressed = entry] {
                if (UI::ActionHandler handler = action(pressed.get().raw).handler->get()) handler(pressed.get().raw);
            });
        });
        return true;
    }
    return false;
}

} // namespace sim::ui
