// Test equipment: a shared library that is no control library (no registration entry).

extern "C" __attribute__((visibility("default"))) int KvSomethingElse() { return 1; }
