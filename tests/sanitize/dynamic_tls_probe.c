// Ends with its main thread holding a block of dynamic thread-local storage
// 16 bytes into a page, and a heap block kept only in that storage:
// blocks of the size glibc asks for are taken until the next one falls
// there, then the library's slot is used for the first time. With "leak",
// one more block is lost on purpose. Exit 3: the placement was not had.
//   dynamic_tls_probe LIBRARY clean|leak
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void* blocks[8192];  // reachable from here, so none is a leak

int main(int argc, char** argv) {
    void* library = argc > 2 ? dlopen(argv[1], RTLD_NOW) : NULL;
    void* address = library != NULL ? dlsym(library, "dynamic_tls_slot") : NULL;
    void** (*slot)(void) = NULL;
    memcpy(&slot, &address, sizeof address);
    if (slot == NULL) return 2;
    // Blocks of one size come from one run of equal chunks, in order.
    uintptr_t stride = 0;
    for (int i = 0; i < 8192; ++i) {
        blocks[i] = malloc(4 * sizeof(void*));
        if (i > 0) stride = (uintptr_t)blocks[i] - (uintptr_t)blocks[i - 1];
        if (stride != 0 && ((uintptr_t)blocks[i] + stride) % 4096 == 16) break;
    }
    void** slots = slot();
    if ((uintptr_t)slots % 4096 != 16) return 3;
    slots[0] = malloc(1000);
    if (strcmp(argv[2], "leak") == 0) {
        void* volatile lost = malloc(77);
        lost = NULL;
        (void)lost;
    }
    return 0;
}
