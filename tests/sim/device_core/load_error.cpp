// A binary that imports one symbol, IMPORTED, from whatever library its link stub names: bound at
// load (a pointer in its data), or with LAZY at its first call, or with WEAK as a weak import.
#ifdef WEAK
extern "C" void IMPORTED() __attribute__((weak_import));
#else
extern "C" void IMPORTED();
#endif

#ifdef LAZY
extern "C" __attribute__((visibility("default"))) void callsImport() { IMPORTED(); }
#else
extern "C" __attribute__((visibility("default"))) void (*const importedAddress)() = IMPORTED;
#endif
