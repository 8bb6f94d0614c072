// Linked into every executable of a sanitized build: the defaults its
// AddressSanitizer runtime starts with (ASAN_OPTIONS still adds to them).
//
// GCC 12's runtime notes each block of dynamic thread-local storage that
// __tls_get_addr hands out, so that the leak check can scan it. When it
// cannot tell the block's size it guesses from glibc 2.19's layout: a
// block that starts 16 bytes into a page is taken to carry a header of
// size and start just before it. Today's glibc has no such header; the
// block comes from malloc, and the 16 bytes before it are the allocator's
// own header. Whenever the block lands there (LLVM's thread_local, which
// Mesa's llvmpipe reaches on the first draw, often does) the check is
// handed a range starting at a stack-trace id, and its stop-the-world
// tracer dies reading it as the program ends. Not noting the blocks loses
// nothing: glibc keeps each one in the thread's vector of blocks, which the
// check reaches from the thread's own TLS, so a block referenced only from
// thread-local storage is still found and a lost one still reported.
__attribute__((visibility("default"), used)) const char* __asan_default_options(void) {
    return "intercept_tls_get_addr=0";
}
