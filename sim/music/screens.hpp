// The Music app's screens as its classes and its process see them.
#pragma once

namespace sim::music {

// The app's window, made when its process starts and gone when it ends.
void startScreens();
void endScreens();
// The add-music picker goes, as its own methods close it.
void closePickerScreen();

} // namespace sim::music
