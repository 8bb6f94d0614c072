// A library with thread-local storage of its own, loaded by
// dynamic_tls_probe with dlopen: its block is handed out by __tls_get_addr
// on first use, as LLVM's is in the GL driver.
__thread void* dynamic_tls_slots[4];

void** dynamic_tls_slot(void) { return dynamic_tls_slots; }
