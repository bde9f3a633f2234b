// A binary that imports one symbol, from whatever library the link stub says; the loader must
// refuse it when the simulated device does not provide the symbol there.
extern "C" void IMPORTED();
extern "C" __attribute__((visibility("default"))) void callsImport() { IMPORTED(); }
