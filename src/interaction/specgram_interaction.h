// The mouse side of spectrogram~: what the mouse callbacks (specgram_mouse.cpp)
// call in the context menu and its edit dialogs (specgram_menu.cpp).
//
// Threads: the host's main thread, from inside the mouse-press callback.
#pragma once

#include "specgram.h"

#ifdef __cplusplus
extern "C" {
#endif

// Builds the edit menu for the box's current state, pops it up at the click
// point `pt` (box coordinates), carries out the chosen item (asking for its
// numbers in a text dialog where it needs them) and destroys the menu.
// Modal: returns when the choice has been carried out.
void specgram_context_menu(t_specgram *x, t_object *patcherview, t_pt pt);

#ifdef __cplusplus
}
#endif
