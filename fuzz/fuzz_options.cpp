// Sanitizer settings every fuzz target starts with; ASAN_OPTIONS in the
// environment still override them.
//
// A freed block waits in quarantine so that a later use of it is caught. The
// default holds 256 MB of such blocks: with a few hundred allocations an input,
// every allocation then lands on memory that has left the cache, and often on a
// fresh page. 64 MB still covers thousands of inputs back.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }
