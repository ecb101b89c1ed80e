// A shared library that is not a plug-in: it has no entry.
extern "C" int NotAnEntry() { return 42; }
