/* A media codec library without the MP3 encoder: it stands in front of the real library,
 * which it needs, and answers the look-up of "libmp3lame" with nothing. Everything else is
 * found in the real library behind it. A window that loads its libraries from the folder
 * holding this file sees a build of the libraries that lacks that encoder. */
#include <dlfcn.h>
#include <stddef.h>
#include <string.h>

typedef const void* (*TFindEncoder)(const char*);

const void* avcodec_find_encoder_by_name(const char* name) {
    static TFindEncoder real;
    if (name && strcmp(name, "libmp3lame") == 0)
        return NULL;
    if (!real) {
        void* library = dlopen(REAL_AVCODEC, RTLD_NOW | RTLD_NOLOAD);
        real = library ? (TFindEncoder)dlsym(library, "avcodec_find_encoder_by_name") : NULL;
    }
    return real ? real(name) : NULL;
}
