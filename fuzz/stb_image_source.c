/* The image decoder compiled from the packaged header, for the sanitizer and
   fuzzing builds, which must instrument it; normal builds link the prebuilt
   library instead. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
