// The bundle's one load-time initialiser: the Settings app loads the bundle, then asks for its classes.
#include "bundle.hpp"

namespace prefs {

int width;

__attribute__((constructor)) static void loadBundle() {
    width = truncatedPoints(UI::Screen::mainScreen().bounds().size.width);
    registerListController();
    registerCells();
}

} // namespace prefs
