// Ends a sanitized process whose main thread holds a block of dynamic
// thread-local storage starting 16 bytes into a page, the placement that
// made the leak check's tracer die at exit. Blocks of the size glibc asks
// for are taken until the next one falls there; then the library's slot is
// used for the first time, and a heap block is kept only in it.
//
//   dynamic_tls_probe LIBRARY [leak]
//
// Exit 0 when all is well; with "leak", a block is lost on purpose and the
// leak check must say so. 3: the placement could not be had here.
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { slot_bytes = 4 * sizeof(void*), page = 4096, most_blocks = 8192 };

// Reachable from here, so none of them is a leak.
static void* blocks[most_blocks];

// Lost on purpose: the only pointer is overwritten before the end.
__attribute__((noinline)) static void lose_a_block(void) {
    void* volatile lost = malloc(77);
    lost = NULL;
    (void)lost;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    void* library = dlopen(argv[1], RTLD_NOW);
    if (library == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    void** (*slot)(void) = NULL;
    void* address = dlsym(library, "dynamic_tls_slot");
    memcpy(&slot, &address, sizeof address);
    if (slot == NULL) return 2;

    // Blocks of one size come from one run of equal chunks, one after the
    // other; stop where the next one starts 16 bytes into a page.
    int count = 0;
    uintptr_t stride = 0;
    for (; count < most_blocks; ++count) {
        blocks[count] = malloc(slot_bytes);
        const uintptr_t at = (uintptr_t)blocks[count];
        if (count > 0) stride = at - (uintptr_t)blocks[count - 1];
        if (stride != 0 && (at + stride) % page == 16) break;
    }
    void** slots = slot();
    if ((uintptr_t)slots % page != 16) {
        fprintf(stderr, "the thread-local block is at %p, not 16 bytes into a page\n",
                (void*)slots);
        return 3;
    }
    slots[0] = malloc(1000);
    if (argc > 2 && strcmp(argv[2], "leak") == 0) lose_a_block();
    return 0;
}
