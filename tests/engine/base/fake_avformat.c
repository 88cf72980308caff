/* Stands in for the format library: every entry point the engine binds is exported,
   except avformat_open_input, which this macro renames away. */
#include "FFEntryPoints.h"

#define avformat_open_input left_out_on_purpose
#define DEFINE_EXPORT(name)                                                                                  \
    void name(void) {}
VX_AVFORMAT_ENTRY_POINTS(DEFINE_EXPORT)
