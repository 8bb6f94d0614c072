#pragma once

// The one rule by which the programs' X error handlers tell that the window
// they draw into has gone. Header only, since the model library, where the
// platform code lives, links no X library; X.h holds only the protocol's
// constants.
#include <X11/X.h>

namespace solidmorph {

// Whether an X protocol error says that `window` (0: none yet) has gone: a
// window or drawable error about that very id, as when another client
// destroyed it or the server tore it down. An error about any other
// resource, another client's window that vanished included, says nothing
// about ours; nor does any other kind of error about our window.
inline bool x_error_says_window_gone(int error_code, unsigned long resource_id,
                                     unsigned long window) {
    return window != 0 && resource_id == window &&
           (error_code == BadWindow || error_code == BadDrawable);
}

}  // namespace solidmorph
